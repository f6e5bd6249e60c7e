// The files of the library's images.
#include "resource_ids.h"

const pairway::ui::ImageResource kImageResources[] = {
    {IDI_SCREEN_FAILED, ":/aggcfg/icon133.png"},   {IDI_SCREEN, ":/aggcfg/icon134.png"},
    {IDI_PORT_UP, ":/aggcfg/icon135.png"},         {IDI_PORT_DOWN, ":/aggcfg/icon136.png"},
    {IDB_PORTS_PICTURE, ":/aggcfg/bitmap137.png"}, {IDB_BANNER, ":/aggcfg/bitmap151.png"},
};
const size_t kImageResourceCount = sizeof kImageResources / sizeof kImageResources[0];
