/*
 * commctrl.h: the common-control types and codes that the tree view and its image list use.
 * The controls themselves are classes of the dialog framework (pairway/ui/tree_ctrl.h).
 */
#ifndef PAIRWAY_COMMCTRL_H
#define PAIRWAY_COMMCTRL_H

#include "winuser.h"

/* A tree item; valid from its insertion until it or its parent is deleted. */
typedef struct _TREEITEM* HTREEITEM;

#define TVI_ROOT ((HTREEITEM)(ULONG_PTR)-0x10000)
#define TVI_FIRST ((HTREEITEM)(ULONG_PTR)-0x0FFFF)
#define TVI_LAST ((HTREEITEM)(ULONG_PTR)-0x0FFFE)

/* Tree styles. */
#define TVS_HASBUTTONS 0x0001
#define TVS_HASLINES 0x0002
#define TVS_LINESATROOT 0x0004
#define TVS_SHOWSELALWAYS 0x0020

/* Which item TVM_GETNEXTITEM finds. */
#define TVGN_ROOT 0x0000
#define TVGN_NEXT 0x0001
#define TVGN_CHILD 0x0004
#define TVGN_CARET 0x0009

/* Which fields of a TVITEM are valid. */
#define TVIF_TEXT 0x0001
#define TVIF_IMAGE 0x0002
#define TVIF_PARAM 0x0004
#define TVIF_HANDLE 0x0010
#define TVIF_SELECTEDIMAGE 0x0020

/* The normal image list of a tree. */
#define TVSIL_NORMAL 0

/* Notifications of a tree (WM_NOTIFY codes). */
#define TVN_FIRST (0U - 400U)
#define TVN_SELCHANGED (TVN_FIRST - 2)

/* Image list flags: colour depth and mask. */
#define ILC_MASK 0x0001
#define ILC_COLOR 0x0000
#define ILC_COLOR4 0x0004
#define ILC_COLORDDB 0x00FE

#endif /* PAIRWAY_COMMCTRL_H */
