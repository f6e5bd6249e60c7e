// The messages the builders make, read back without a kernel: what the kernel will be asked.
#include <linux/if_bonding.h>
#include <linux/filter.h>
#include <linux/if_ether.h>
#include <linux/pkt_cls.h>
#include <linux/pkt_sched.h>
#include <linux/rtnetlink.h>
#include <linux/tc_act/tc_mirred.h>
#include <linux/veth.h>
#include <arpa/inet.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "netlink/address.h"
#include "netlink/link.h"
#include "netlink/socket.h"
#include "netlink/tc.h"

namespace pairway::netlink {
namespace {

const std::vector<uint8_t> kMac = {0x02, 0x00, 0x00, 0x00, 0x0a, 0x01};

template <typename T>
T Read(std::span<const uint8_t> bytes) {
  T value{};
  EXPECT_EQ(bytes.size(), sizeof value);
  std::memcpy(&value, bytes.data(), std::min(bytes.size(), sizeof value));
  return value;
}

TEST(BondRequest, AsksForAnActiveBackupBondWithItsLinkMonitorAndPrimary) {
  BondSettings settings;
  settings.name = "g0";
  settings.address = kMac;
  settings.miimon_ms = 100;
  settings.updelay_ms = 1000;
  settings.downdelay_ms = 1000;
  settings.primary = 7;
  Request request = NewBondRequest(settings);
  const nlmsghdr* message = request.message();
  EXPECT_EQ(message->nlmsg_type, RTM_NEWLINK);
  EXPECT_EQ(message->nlmsg_flags, NLM_F_REQUEST | NLM_F_CREATE | NLM_F_EXCL);
  EXPECT_FALSE(request.overflowed());

  Attributes link(message, sizeof(ifinfomsg), IFLA_MAX);
  EXPECT_EQ(link.String(IFLA_IFNAME), "g0");
  const std::span<const uint8_t> address = link.Bytes(IFLA_ADDRESS);
  EXPECT_EQ(std::vector<uint8_t>(address.begin(), address.end()), kMac);
  Attributes info(link[IFLA_LINKINFO], IFLA_INFO_MAX);
  EXPECT_EQ(info.String(IFLA_INFO_KIND), "bond");
  Attributes data(info[IFLA_INFO_DATA], IFLA_BOND_MAX);
  EXPECT_EQ(data.U8(IFLA_BOND_MODE, 0xff), BOND_MODE_ACTIVEBACKUP);
  EXPECT_EQ(data.U32(IFLA_BOND_MIIMON), 100u);
  EXPECT_EQ(data.U32(IFLA_BOND_UPDELAY), 1000u);
  EXPECT_EQ(data.U32(IFLA_BOND_DOWNDELAY), 1000u);
  EXPECT_EQ(data.U32(IFLA_BOND_PRIMARY), 7u);
  EXPECT_EQ(data.U8(IFLA_BOND_FAIL_OVER_MAC, 0xff), kBondFailOverMacNone);
  EXPECT_EQ(data.U8(IFLA_BOND_PRIMARY_RESELECT, 0xff), kBondPrimaryReselectAlways);
  EXPECT_EQ(data.U8(IFLA_BOND_NUM_PEER_NOTIF), 1);

  // The kernel answers a bond in the same shape: the parser reads the settings back.
  Link parsed;
  ASSERT_TRUE(ParseLink(message, &parsed));
  EXPECT_EQ(parsed.kind, "bond");
  EXPECT_EQ(parsed.bond.mode, BOND_MODE_ACTIVEBACKUP);
  EXPECT_EQ(parsed.bond.miimon_ms, 100u);
  EXPECT_EQ(parsed.bond.primary, 7);
}

TEST(BondRequest, WithoutPrimaryOrAddressLeavesThemToTheKernel) {
  BondSettings settings;
  settings.name = "g1";
  Request request = NewBondRequest(settings);
  Attributes link(request.message(), sizeof(ifinfomsg), IFLA_MAX);
  EXPECT_FALSE(link.has(IFLA_ADDRESS));
  Attributes info(link[IFLA_LINKINFO], IFLA_INFO_MAX);
  Attributes data(info[IFLA_INFO_DATA], IFLA_BOND_MAX);
  EXPECT_FALSE(data.has(IFLA_BOND_PRIMARY));
}

TEST(BondRequest, ChangingThePrimaryAddressesTheBondByIndex) {
  Request request = SetBondPrimaryRequest(12, 9);
  EXPECT_EQ(request.message()->nlmsg_type, RTM_NEWLINK);
  EXPECT_EQ(request.message()->nlmsg_flags & NLM_F_CREATE, 0);
  EXPECT_EQ(request.header<ifinfomsg>()->ifi_index, 12);
  Attributes link(request.message(), sizeof(ifinfomsg), IFLA_MAX);
  Attributes info(link[IFLA_LINKINFO], IFLA_INFO_MAX);
  EXPECT_EQ(info.String(IFLA_INFO_KIND), "bond");
  Attributes data(info[IFLA_INFO_DATA], IFLA_BOND_MAX);
  EXPECT_EQ(data.U32(IFLA_BOND_PRIMARY), 9u);
}

TEST(SlaveRequests, EnslaveAndReleaseSetTheMaster) {
  Request enslave = SetLinkMasterRequest(5, 12);
  EXPECT_EQ(enslave.header<ifinfomsg>()->ifi_index, 5);
  EXPECT_EQ(Attributes(enslave.message(), sizeof(ifinfomsg), IFLA_MAX).U32(IFLA_MASTER, 99), 12u);
  Request release = SetLinkMasterRequest(5, 0);
  EXPECT_EQ(Attributes(release.message(), sizeof(ifinfomsg), IFLA_MAX).U32(IFLA_MASTER, 99), 0u);
}

TEST(LinkRequests, FlagsChangeOnlyTheSelectedBits) {
  Request request = SetLinkFlagsRequest(3, IFF_UP | IFF_ALLMULTI, IFF_UP);
  EXPECT_EQ(request.header<ifinfomsg>()->ifi_flags, unsigned{IFF_UP});
  EXPECT_EQ(request.header<ifinfomsg>()->ifi_change, unsigned{IFF_UP});
}

TEST(VethRequest, DescribesThePeerAsALinkOfItsOwn) {
  Request request = NewVethRequest("g0", "g0-pw", 42);
  Attributes link(request.message(), sizeof(ifinfomsg), IFLA_MAX);
  EXPECT_EQ(link.String(IFLA_IFNAME), "g0");
  Attributes info(link[IFLA_LINKINFO], IFLA_INFO_MAX);
  EXPECT_EQ(info.String(IFLA_INFO_KIND), "veth");
  Attributes data(info[IFLA_INFO_DATA], VETH_INFO_MAX);
  const nlattr* peer = data[VETH_INFO_PEER];
  ASSERT_NE(peer, nullptr);
  // The nest starts with the peer's ifinfomsg; its attributes follow.
  const auto* payload = static_cast<const uint8_t*>(mnl_attr_get_payload(peer));
  const size_t length = mnl_attr_get_payload_len(peer);
  ASSERT_GE(length, sizeof(ifinfomsg));
  Attributes peer_link(
      std::span<const uint8_t>(payload, length).subspan(MNL_ALIGN(sizeof(ifinfomsg))), IFLA_MAX);
  const std::string name = peer_link.String(IFLA_IFNAME);
  const uint32_t namespace_fd = peer_link.U32(IFLA_NET_NS_FD);
  EXPECT_EQ(name, "g0-pw");
  EXPECT_EQ(namespace_fd, 42u);
}

TEST(TcRequests, RedirectIsAMatchAllU32WithOneMirredAction) {
  Request request = RedirectFilterRequest(4, Hook::kEgress, 1, 9, Hook::kIngress, 0);
  const nlmsghdr* message = request.message();
  EXPECT_EQ(message->nlmsg_type, RTM_NEWTFILTER);
  EXPECT_EQ(message->nlmsg_flags, NLM_F_REQUEST | NLM_F_CREATE | NLM_F_EXCL | NLM_F_ECHO);
  const auto* tc = request.header<tcmsg>();
  EXPECT_EQ(tc->tcm_ifindex, 4);
  EXPECT_EQ(tc->tcm_parent, TC_H_MAKE(TC_H_CLSACT, TC_H_MIN_EGRESS));
  EXPECT_EQ(TC_H_MAJ(tc->tcm_info) >> 16, 1u);
  EXPECT_EQ(TC_H_MIN(tc->tcm_info), htons(ETH_P_ALL));
  Attributes top(message, sizeof(tcmsg), TCA_MAX);
  EXPECT_EQ(top.String(TCA_KIND), "u32");
  Attributes options(top[TCA_OPTIONS], TCA_U32_MAX);
  const std::span<const uint8_t> selector = options.Bytes(TCA_U32_SEL);
  ASSERT_EQ(selector.size(), sizeof(tc_u32_sel) + sizeof(tc_u32_key));
  tc_u32_sel header{};
  std::memcpy(&header, selector.data(), sizeof header);
  tc_u32_key key{};
  std::memcpy(&key, selector.data() + sizeof header, sizeof key);
  EXPECT_EQ(header.nkeys, 1);
  EXPECT_TRUE(header.flags & TC_U32_TERMINAL);
  EXPECT_EQ(key.mask, 0u);  // matches every frame
  Attributes actions(options[TCA_U32_ACT], 1);
  Attributes action(actions[1], TCA_ACT_MAX);
  EXPECT_EQ(action.String(TCA_ACT_KIND), "mirred");
  Attributes parameters(action[TCA_ACT_OPTIONS], TCA_MIRRED_MAX);
  const auto mirred = Read<tc_mirred>(parameters.Bytes(TCA_MIRRED_PARMS));
  EXPECT_EQ(mirred.eaction, TCA_INGRESS_REDIR);
  EXPECT_EQ(mirred.ifindex, 9u);
  EXPECT_EQ(mirred.action, TC_ACT_STOLEN);  // the frame goes no further where it was seen
}

TEST(TcRequests, RedirectWithAHandleReplacesThatFilter) {
  Request request = RedirectFilterRequest(4, Hook::kIngress, 1, 9, Hook::kEgress, 0x80000800);
  EXPECT_EQ(request.message()->nlmsg_flags, NLM_F_REQUEST | NLM_F_CREATE | NLM_F_REPLACE);
  EXPECT_EQ(request.header<tcmsg>()->tcm_handle, 0x80000800u);
  EXPECT_EQ(request.header<tcmsg>()->tcm_parent, TC_H_MAKE(TC_H_CLSACT, TC_H_MIN_INGRESS));
}

TEST(TcRequests, BpfDropIsOneReturnOfShotAsADirectAction) {
  Request request = BpfDropFilterRequest(4, Hook::kIngress, 2);
  Attributes top(request.message(), sizeof(tcmsg), TCA_MAX);
  EXPECT_EQ(top.String(TCA_KIND), "bpf");
  Attributes options(top[TCA_OPTIONS], TCA_BPF_MAX);
  EXPECT_EQ(options.U32(TCA_BPF_FLAGS), uint32_t{TCA_BPF_FLAG_ACT_DIRECT});
  const auto program = Read<sock_filter>(options.Bytes(TCA_BPF_OPS));
  EXPECT_EQ(program.code, BPF_RET | BPF_K);
  EXPECT_EQ(program.k, uint32_t{TC_ACT_SHOT});
}

TEST(AddressRequest, CarriesTheAddressPrefixAndBroadcast) {
  in_addr ip{};
  inet_pton(AF_INET, "10.9.0.1", &ip);
  Address address = Address::Ipv4(6, ip, 24);
  address.has_broadcast = true;
  inet_pton(AF_INET, "10.9.0.255", address.broadcast.data());
  Request request = NewAddressRequest(address);
  EXPECT_EQ(request.header<ifaddrmsg>()->ifa_prefixlen, 24);
  EXPECT_EQ(request.header<ifaddrmsg>()->ifa_index, 6u);
  // The kernel answers an address in the same shape.
  Address parsed;
  ASSERT_TRUE(ParseAddress(request.message(), &parsed));
  EXPECT_TRUE(parsed.SameAs(address));
  EXPECT_EQ(parsed.ToString(), "10.9.0.1/24");
  EXPECT_TRUE(parsed.has_broadcast);
}

TEST(Request, ThatOutgrewItsBufferIsNeverSent) {
  Request request = GetLinkRequest("lo");
  request.PutString(IFLA_IFALIAS, std::string(8000, 'x'));
  EXPECT_TRUE(request.overflowed());
  Socket socket;
  ASSERT_TRUE(socket.Open().ok());
  EXPECT_EQ(socket.Call(request).code(), EMSGSIZE);
}

TEST(Request, OnAClosedSocketFailsWithEbadf) {
  Socket socket;
  Request request = GetLinkRequest("lo");
  EXPECT_EQ(socket.Call(request).code(), EBADF);
}

// An NLMSG_ERROR as the kernel sends it with extended acknowledgements on.
std::vector<uint32_t> ErrorMessage(int error, const char* explanation) {
  std::vector<uint32_t> buffer(256, 0);
  nlmsghdr* message = mnl_nlmsg_put_header(buffer.data());
  message->nlmsg_type = NLMSG_ERROR;
  message->nlmsg_flags = NLM_F_CAPPED | (explanation != nullptr ? NLM_F_ACK_TLVS : 0);
  auto* header = static_cast<nlmsgerr*>(mnl_nlmsg_put_extra_header(message, sizeof(nlmsgerr)));
  header->error = -error;
  header->msg.nlmsg_len = sizeof(nlmsghdr) + 64;  // capped: the request is not echoed
  if (explanation != nullptr) mnl_attr_put_strz(message, NLMSGERR_ATTR_MSG, explanation);
  return buffer;
}

TEST(Acknowledgement, CarriesTheErrnoAndTheKernelsExplanation) {
  const std::vector<uint32_t> buffer =
      ErrorMessage(EINVAL, "Filter kind and protocol must not change");
  const Status status = AcknowledgementStatus(reinterpret_cast<const nlmsghdr*>(buffer.data()));
  EXPECT_EQ(status.code(), EINVAL);
  EXPECT_NE(status.text().find("EINVAL"), std::string::npos) << status.text();
  EXPECT_NE(status.text().find("Filter kind and protocol must not change"), std::string::npos)
      << status.text();
}

TEST(Acknowledgement, OfSuccessIsOk) {
  const std::vector<uint32_t> buffer = ErrorMessage(0, nullptr);
  EXPECT_TRUE(AcknowledgementStatus(reinterpret_cast<const nlmsghdr*>(buffer.data())).ok());
}

TEST(Status, ContextGoesFirstAndLeavesSuccessAlone) {
  EXPECT_EQ(Status::Error(ENODEV)
                .Context("reading interface m1")
                .text()
                .rfind("reading interface m1: ", 0),
            0u);
  EXPECT_TRUE(Status().Context("anything").ok());
}

}  // namespace
}  // namespace pairway::netlink
