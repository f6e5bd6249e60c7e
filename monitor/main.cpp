// portwarden: the link monitor program. It takes no command line; see portwarden.h.
#include "portwarden.h"

int main(int argc, char* argv[]) {
  portwarden_main(argc, argv);
  return 0;
}
