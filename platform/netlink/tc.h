// tc.h: the traffic-control pieces that move a group's frames inside the kernel: a clsact
// qdisc on an interface, filters on its ingress or egress hook that redirect every frame to
// another interface or drop it.
//
// Filters at one hook run in priority order (lower first); the first that takes a frame ends
// its way. A redirect takes the frame away from the interface it was seen on:
//   Hook::kEgress   of the target: the frame is sent out of the target;
//   Hook::kIngress  of the target: the frame is received as if it had arrived on the target.
// Every filter matches every frame (a u32 selector with an all-zero mask).
//
// Dropping needs an action this kernel may lack: the drop filter is a one-instruction classic
// BPF program run as a direct action (cls_bpf), or a u32 filter with the gact drop action where
// cls_bpf is missing.
//
// Builders without a kernel, calls on a Channel (socket.h), as in link.h. Errors: ENOENT for a
// missing qdisc or filter, EEXIST when one is there already, EOPNOTSUPP (or ENOENT, as some
// kernels say it) when the classifier or action is not built.
#ifndef PAIRWAY_NETLINK_TC_H
#define PAIRWAY_NETLINK_TC_H

#include <cstdint>

#include "netlink/message.h"
#include "netlink/socket.h"
#include "netlink/status.h"

namespace pairway::netlink {

enum class Hook : uint8_t { kIngress, kEgress };

Request AddClsactRequest(int index);
Request DeleteClsactRequest(int index);  // takes every filter of both hooks with it

// A u32 filter at `hook` of `index` that redirects every frame to `hook_of_target` of
// `target`. handle 0 makes a new filter (and asks the kernel to echo it, for its handle);
// another handle replaces the action of that filter in place, with no moment in between.
Request RedirectFilterRequest(int index, Hook hook, uint16_t priority, int target,
                              Hook hook_of_target, uint32_t handle);
Request BpfDropFilterRequest(int index, Hook hook, uint16_t priority);
Request GactDropFilterRequest(int index, Hook hook, uint16_t priority);
// Deletes every filter of `priority` at `hook`.
Request DeleteFilterRequest(int index, Hook hook, uint16_t priority);

Status AddClsact(Channel& socket, int index);
Status DeleteClsact(Channel& socket, int index);

// Makes (when *handle is 0) or replaces (the filter *handle names) the redirect filter. After
// success *handle names the filter; after failure it is unchanged.
Status SetRedirectFilter(Channel& socket, int index, Hook hook, uint16_t priority, int target,
                         Hook hook_of_target, uint32_t* handle);

// A filter that drops every frame: cls_bpf, or u32 with gact when cls_bpf is missing. Fails
// with the first way's error when neither exists.
Status AddDropFilter(Channel& socket, int index, Hook hook, uint16_t priority);

Status DeleteFilter(Channel& socket, int index, Hook hook, uint16_t priority);

}  // namespace pairway::netlink

#endif  // PAIRWAY_NETLINK_TC_H
