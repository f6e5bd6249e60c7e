// clsact, u32 + mirred redirects and drops over rtnetlink; see tc.h.
#include "netlink/tc.h"

#include <linux/filter.h>
#include <linux/if_ether.h>
#include <linux/pkt_cls.h>
#include <linux/pkt_sched.h>
#include <linux/rtnetlink.h>
#include <linux/tc_act/tc_gact.h>
#include <linux/tc_act/tc_mirred.h>
#include <arpa/inet.h>

#include <cerrno>
#include <cstring>
#include <string>

namespace pairway::netlink {
namespace {

uint32_t ParentOf(Hook hook) {
  return TC_H_MAKE(TC_H_CLSACT, hook == Hook::kIngress ? TC_H_MIN_INGRESS : TC_H_MIN_EGRESS);
}

const char* NameOf(Hook hook) { return hook == Hook::kIngress ? "ingress" : "egress"; }

std::string Where(int index, Hook hook, uint16_t priority) {
  return std::string(NameOf(hook)) + " filter " + std::to_string(priority) + " of interface " +
         std::to_string(index);
}

Request FilterRequest(uint16_t type, uint16_t flags, int index, Hook hook, uint16_t priority,
                      uint32_t handle) {
  Request request(type, flags, sizeof(tcmsg));
  auto* tc = request.header<tcmsg>();
  tc->tcm_family = AF_UNSPEC;
  tc->tcm_ifindex = index;
  tc->tcm_parent = ParentOf(hook);
  tc->tcm_handle = handle;
  tc->tcm_info = TC_H_MAKE(static_cast<uint32_t>(priority) << 16, htons(ETH_P_ALL));
  return request;
}

Request ClsactRequest(uint16_t type, uint16_t flags, int index) {
  Request request(type, flags, sizeof(tcmsg));
  auto* tc = request.header<tcmsg>();
  tc->tcm_family = AF_UNSPEC;
  tc->tcm_ifindex = index;
  tc->tcm_handle = TC_H_MAKE(TC_H_CLSACT, 0);
  tc->tcm_parent = TC_H_CLSACT;
  request.PutString(TCA_KIND, "clsact");
  return request;
}

// The u32 selector with its one key that every frame matches.
void PutMatchAll(Request& request) {
  unsigned char selector[sizeof(tc_u32_sel) + sizeof(tc_u32_key)] = {};
  tc_u32_sel header{};
  header.flags = TC_U32_TERMINAL;
  header.nkeys = 1;
  std::memcpy(selector, &header, sizeof header);  // the key stays all zeros: mask 0, value 0
  request.PutBytes(TCA_U32_SEL, selector, sizeof selector);
}

// A u32 filter that matches every frame and gives it to one action: its kind, then its
// parameters.
template <typename Parameters>
Request MatchAllFilter(uint16_t flags, int index, Hook hook, uint16_t priority, uint32_t handle,
                       const char* action_kind, uint16_t parameters_type,
                       const Parameters& parameters) {
  Request request = FilterRequest(RTM_NEWTFILTER, flags, index, hook, priority, handle);
  request.PutString(TCA_KIND, "u32");
  nlattr* options = request.BeginNest(TCA_OPTIONS);
  PutMatchAll(request);
  nlattr* actions = request.BeginNest(TCA_U32_ACT);
  nlattr* first = request.BeginNest(1);  // the actions' order, from 1
  request.PutString(TCA_ACT_KIND, action_kind);
  nlattr* action_options = request.BeginNest(TCA_ACT_OPTIONS);
  request.PutBytes(parameters_type, &parameters, sizeof parameters);
  request.EndNest(action_options);
  request.EndNest(first);
  request.EndNest(actions);
  request.EndNest(options);
  return request;
}

}  // namespace

Request AddClsactRequest(int index) {
  return ClsactRequest(RTM_NEWQDISC, NLM_F_CREATE | NLM_F_EXCL, index);
}

Request DeleteClsactRequest(int index) { return ClsactRequest(RTM_DELQDISC, 0, index); }

Request RedirectFilterRequest(int index, Hook hook, uint16_t priority, int target,
                              Hook hook_of_target, uint32_t handle) {
  const uint16_t flags =
      handle == 0 ? NLM_F_CREATE | NLM_F_EXCL | NLM_F_ECHO : NLM_F_CREATE | NLM_F_REPLACE;
  tc_mirred mirred{};
  mirred.action = TC_ACT_STOLEN;
  mirred.eaction = hook_of_target == Hook::kIngress ? TCA_INGRESS_REDIR : TCA_EGRESS_REDIR;
  mirred.ifindex = static_cast<uint32_t>(target);
  return MatchAllFilter(flags, index, hook, priority, handle, "mirred", TCA_MIRRED_PARMS, mirred);
}

Request BpfDropFilterRequest(int index, Hook hook, uint16_t priority) {
  Request request =
      FilterRequest(RTM_NEWTFILTER, NLM_F_CREATE | NLM_F_EXCL, index, hook, priority, 0);
  request.PutString(TCA_KIND, "bpf");
  nlattr* options = request.BeginNest(TCA_OPTIONS);
  // "return TC_ACT_SHOT", read by the classifier as the frame's verdict (direct action).
  const sock_filter program[] = {{BPF_RET | BPF_K, 0, 0, TC_ACT_SHOT}};
  request.PutU16(TCA_BPF_OPS_LEN, 1);
  request.PutBytes(TCA_BPF_OPS, program, sizeof program);
  request.PutU32(TCA_BPF_FLAGS, TCA_BPF_FLAG_ACT_DIRECT);
  request.EndNest(options);
  return request;
}

Request GactDropFilterRequest(int index, Hook hook, uint16_t priority) {
  tc_gact gact{};
  gact.action = TC_ACT_SHOT;
  return MatchAllFilter(NLM_F_CREATE | NLM_F_EXCL, index, hook, priority, 0, "gact", TCA_GACT_PARMS,
                        gact);
}

Request DeleteFilterRequest(int index, Hook hook, uint16_t priority) {
  return FilterRequest(RTM_DELTFILTER, 0, index, hook, priority, 0);
}

Status AddClsact(Channel& socket, int index) {
  Request request = AddClsactRequest(index);
  return socket.Call(request).Context("adding clsact to interface " + std::to_string(index));
}

Status DeleteClsact(Channel& socket, int index) {
  Request request = DeleteClsactRequest(index);
  return socket.Call(request).Context("deleting clsact from interface " + std::to_string(index));
}

Status SetRedirectFilter(Channel& socket, int index, Hook hook, uint16_t priority, int target,
                         Hook hook_of_target, uint32_t* handle) {
  Request request = RedirectFilterRequest(index, hook, priority, target, hook_of_target, *handle);
  uint32_t echoed = *handle;
  Status status = socket.Call(request, [&](const nlmsghdr* message) {
    if (message->nlmsg_type == RTM_NEWTFILTER &&
        mnl_nlmsg_get_payload_len(message) >= sizeof(tcmsg))
      echoed = static_cast<const tcmsg*>(mnl_nlmsg_get_payload(message))->tcm_handle;
  });
  if (!status.ok()) return status.Context("setting " + Where(index, hook, priority));
  if (echoed == 0) return Status::Error(EPROTO, "the kernel echoed no filter handle");
  *handle = echoed;
  return {};
}

Status AddDropFilter(Channel& socket, int index, Hook hook, uint16_t priority) {
  Request bpf = BpfDropFilterRequest(index, hook, priority);
  Status status = socket.Call(bpf);
  if (status.code() == EOPNOTSUPP || status.code() == ENOENT) {
    Request gact = GactDropFilterRequest(index, hook, priority);
    if (socket.Call(gact).ok()) return {};
  }
  return status.Context("adding drop " + Where(index, hook, priority));
}

Status DeleteFilter(Channel& socket, int index, Hook hook, uint16_t priority) {
  Request request = DeleteFilterRequest(index, hook, priority);
  return socket.Call(request).Context("deleting " + Where(index, hook, priority));
}

}  // namespace pairway::netlink
