// resource_ids.h: the library's images, by the resource numbers its dialog templates use.
//
// The pictures are PNG files of res/ compiled into the library (Qt resources under ":/aggcfg/");
// res/draw_images.py draws them.
#ifndef AGGCFG_RESOURCE_IDS_H
#define AGGCFG_RESOURCE_IDS_H

#include <stddef.h>

#include "pairway/ui/win_app.h"

enum : UINT {
  IDI_SCREEN_FAILED = 133,  // a screen with a red mark; loaded, never shown
  IDI_SCREEN = 134,         // a screen with a green mark: groups
  IDI_PORT_UP = 135,        // an adapter card: a port with its link
  IDI_PORT_DOWN = 136,      // the card crossed out: a port without
  IDB_PORTS_PICTURE = 137,  // two cards joined into a group: decoration
  IDB_BANNER = 151,         // a band of linked ports: decoration
};

// Every image of the library with its file, for CWinApp::SetImageResources.
extern const pairway::ui::ImageResource kImageResources[];
extern const size_t kImageResourceCount;

#endif  // AGGCFG_RESOURCE_IDS_H
