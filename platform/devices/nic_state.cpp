// The emulated NIC ports' state: the field table, the text of a state file and simulated
// traffic. Where the files live and how processes share them is nic_state_store.cpp.
//
// A state file is a list of "field=value" lines, the same that `pairway-netsetup nic set` takes;
// reading applies them in order to a default state.
#include "pairway/nic_state.h"

#include <ntddndis.h>
#include <windows.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <sstream>

#include "devices/nic_state_store.h"

namespace pairway {
namespace {

// What one second of simulated traffic adds, per counter.
struct TrafficRate {
  DWORD oid;
  uint64_t per_second;
};
constexpr TrafficRate kTrafficRates[] = {
    {OID_GEN_XMIT_OK, 800},
    {OID_GEN_RCV_OK, 1000},
    {OID_GEN_DIRECTED_BYTES_XMIT, 700 * 1000},
    {OID_GEN_MULTICAST_BYTES_XMIT, 20 * 1000},
    {OID_GEN_BROADCAST_BYTES_XMIT, 10 * 1000},
    {OID_GEN_DIRECTED_BYTES_RCV, 850 * 1000},
    {OID_GEN_MULTICAST_BYTES_RCV, 30 * 1000},
    {OID_GEN_BROADCAST_BYTES_RCV, 15 * 1000},
};

int64_t NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

uint64_t TrafficAdded(const NicState& state, DWORD oid, int64_t now_ms) {
  if (!state.traffic || now_ms <= state.traffic_since_ms) return 0;
  for (const TrafficRate& rate : kTrafficRates) {
    if (rate.oid == oid)
      return rate.per_second * static_cast<uint64_t>(now_ms - state.traffic_since_ms) / 1000;
  }
  return 0;
}

// Moves what the traffic added so far into the stored counters.
void FoldTraffic(NicState* state) {
  if (!state->traffic) return;
  const int64_t now = NowMs();
  for (const TrafficRate& rate : kTrafficRates)
    state->counters[rate.oid] += TrafficAdded(*state, rate.oid, now);
  state->traffic_since_ms = now;
}

bool ParseUnsigned(std::string_view text, uint64_t max, uint64_t* value) {
  int base = 10;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    text.remove_prefix(2);
    base = 16;
  }
  uint64_t parsed = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), parsed, base);
  if (text.empty() || ec != std::errc() || end != text.data() + text.size() || parsed > max)
    return false;
  *value = parsed;
  return true;
}

template <size_t N>
bool ParseHexBytes(std::string_view text, std::array<uint8_t, N>* bytes) {
  if (text.size() != 2 * N) return false;
  for (size_t i = 0; i < N; ++i) {
    auto [end, ec] = std::from_chars(text.data() + 2 * i, text.data() + 2 * i + 2, (*bytes)[i], 16);
    if (ec != std::errc() || end != text.data() + 2 * i + 2) return false;
  }
  return true;
}

template <size_t N>
std::string HexBytes(const std::array<uint8_t, N>& bytes) {
  std::string text;
  char pair[3];
  for (uint8_t byte : bytes) {
    std::snprintf(pair, sizeof pair, "%02X", byte);
    text += pair;
  }
  return text;
}

std::vector<std::string_view> Split(std::string_view text, char separator) {
  std::vector<std::string_view> parts;
  size_t start = 0;
  for (size_t i = 0; i <= text.size(); ++i) {
    if (i == text.size() || text[i] == separator) {
      parts.push_back(text.substr(start, i - start));
      start = i + 1;
    }
  }
  return parts;
}

bool ParseAdapterInfo(std::string_view text, std::optional<NicAdapterInfo>* info) {
  if (text == "none") {
    info->reset();
    return true;
  }
  std::vector<std::string_view> parts = Split(text, ',');
  if (parts.size() != 2 && parts.size() != 7) return false;
  NicAdapterInfo parsed;
  uint64_t numbers[6] = {};
  const std::string_view number_texts[6] = {parts[0],
                                            parts.size() == 7 ? parts[2] : "0",
                                            parts.size() == 7 ? parts[3] : "0",
                                            parts.size() == 7 ? parts[4] : "0",
                                            parts.size() == 7 ? parts[5] : "0",
                                            parts.size() == 7 ? parts[6] : "0"};
  for (int i = 0; i < 6; ++i) {
    if (!ParseUnsigned(number_texts[i], 0xFFFFFFFFu, &numbers[i])) return false;
  }
  // The record's text field holds 59 characters and a terminator.
  if (parts[1].size() > 59) return false;
  for (char c : parts[1]) {
    if (static_cast<unsigned char>(c) < 0x20) return false;
  }
  parsed.mode = static_cast<uint32_t>(numbers[0]);
  parsed.text = std::string(parts[1]);
  parsed.pair1 = static_cast<uint32_t>(numbers[1]);
  parsed.pair2 = static_cast<uint32_t>(numbers[2]);
  parsed.value_a = static_cast<uint32_t>(numbers[3]);
  parsed.value_b = static_cast<uint32_t>(numbers[4]);
  parsed.value_c = static_cast<uint32_t>(numbers[5]);
  *info = parsed;
  return true;
}

bool ParseFlag(std::string_view text, std::string_view on, std::string_view off, bool* flag) {
  if (text == on || text == "1") {
    *flag = true;
  } else if (text == off || text == "0") {
    *flag = false;
  } else {
    return false;
  }
  return true;
}

// Applies one field to `state` without folding traffic; false when the field or value is bad.
bool ApplyField(NicState* state, std::string_view field, std::string_view value) {
  for (const auto& [name, oid] : NicCounterNames()) {
    if (field == name) {
      uint64_t number = 0;
      if (!ParseUnsigned(value, UINT64_MAX, &number)) return false;
      state->counters[oid] = number;
      return true;
    }
  }
  uint64_t number = 0;
  if (field == "permanent-address") return ParseHexBytes(value, &state->permanent_address);
  if (field == "current-address") return ParseHexBytes(value, &state->current_address);
  if (field == "vendor-id") return ParseHexBytes(value, &state->vendor_id);
  if (field == "multicast") {
    std::vector<MacAddress> list;
    if (!value.empty()) {
      for (std::string_view part : Split(value, ',')) {
        MacAddress address{};
        if (!ParseHexBytes(part, &address)) return false;
        list.push_back(address);
      }
    }
    state->multicast = std::move(list);
    return true;
  }
  if (field == "multicast-max") {
    if (!ParseUnsigned(value, 0xFFFF, &number)) return false;
    state->multicast_max = static_cast<uint32_t>(number);
    return true;
  }
  if (field == "driver-version") {
    if (!ParseUnsigned(value, 0xFFFF, &number)) return false;
    state->driver_version = static_cast<uint16_t>(number);
    return true;
  }
  if (field == "link") return ParseFlag(value, "up", "down", &state->link_up);
  if (field == "adapter-info") return ParseAdapterInfo(value, &state->adapter_info);
  if (field == "silent") return ParseFlag(value, "on", "off", &state->silent);
  if (field == "traffic") return ParseFlag(value, "on", "off", &state->traffic);
  if (field == "traffic-since") {
    if (!ParseUnsigned(value, INT64_MAX, &number)) return false;
    state->traffic_since_ms = static_cast<int64_t>(number);
    return true;
  }
  return false;
}

// The fields SetNicField takes besides the counters' NDIS names.
constexpr std::string_view kNamedFields[] = {"permanent-address",
                                             "current-address",
                                             "vendor-id",
                                             "multicast",
                                             "multicast-max",
                                             "driver-version",
                                             "link",
                                             "adapter-info",
                                             "silent",
                                             "traffic"};

bool KnownField(std::string_view field) {
  for (const auto& [name, oid] : NicCounterNames()) {
    if (field == name) return true;
  }
  return std::find(std::begin(kNamedFields), std::end(kNamedFields), field) !=
         std::end(kNamedFields);
}

}  // namespace

NicState DefaultNicState(int instance) {
  NicState state;
  const auto low = static_cast<uint8_t>(instance & 0xFF);
  const auto high = static_cast<uint8_t>((instance >> 8) & 0xFF);
  state.permanent_address = {0x00, 0xA0, 0xC9, 0x12, high, low};
  state.current_address = state.permanent_address;
  NicAdapterInfo info;
  info.mode = 1;
  info.text = "Corvane TREVAN Multi-Port Fast Ethernet";
  info.pair1 = 100;
  info.pair2 = 10;
  info.value_a = 1;
  info.value_b = 0;
  info.value_c = 3;
  state.adapter_info = info;
  return state;
}

const std::vector<std::pair<std::string, DWORD>>& NicCounterNames() {
  static const auto* names = new std::vector<std::pair<std::string, DWORD>>{
      {"OID_GEN_XMIT_OK", OID_GEN_XMIT_OK},
      {"OID_GEN_RCV_OK", OID_GEN_RCV_OK},
      {"OID_GEN_XMIT_ERROR", OID_GEN_XMIT_ERROR},
      {"OID_GEN_RCV_ERROR", OID_GEN_RCV_ERROR},
      {"OID_GEN_RCV_NO_BUFFER", OID_GEN_RCV_NO_BUFFER},
      {"OID_GEN_DIRECTED_BYTES_XMIT", OID_GEN_DIRECTED_BYTES_XMIT},
      {"OID_GEN_MULTICAST_BYTES_XMIT", OID_GEN_MULTICAST_BYTES_XMIT},
      {"OID_GEN_BROADCAST_BYTES_XMIT", OID_GEN_BROADCAST_BYTES_XMIT},
      {"OID_GEN_DIRECTED_BYTES_RCV", OID_GEN_DIRECTED_BYTES_RCV},
      {"OID_GEN_MULTICAST_BYTES_RCV", OID_GEN_MULTICAST_BYTES_RCV},
      {"OID_GEN_BROADCAST_BYTES_RCV", OID_GEN_BROADCAST_BYTES_RCV},
      {"OID_GEN_RCV_CRC_ERROR", OID_GEN_RCV_CRC_ERROR},
      {"OID_802_3_RCV_ERROR_ALIGNMENT", OID_802_3_RCV_ERROR_ALIGNMENT},
      {"OID_802_3_XMIT_MAX_COLLISIONS", OID_802_3_XMIT_MAX_COLLISIONS},
      {"OID_802_3_RCV_OVERRUN", OID_802_3_RCV_OVERRUN},
      {"OID_802_3_XMIT_UNDERRUN", OID_802_3_XMIT_UNDERRUN},
      {"OID_802_3_XMIT_HEARTBEAT_FAILURE", OID_802_3_XMIT_HEARTBEAT_FAILURE},
      {"OID_802_3_XMIT_TIMES_CRS_LOST", OID_802_3_XMIT_TIMES_CRS_LOST},
      {"OID_802_3_XMIT_LATE_COLLISIONS", OID_802_3_XMIT_LATE_COLLISIONS},
  };
  return *names;
}

uint64_t NicCounter(const NicState& state, DWORD oid) {
  auto it = state.counters.find(oid);
  const uint64_t stored = it == state.counters.end() ? 0 : it->second;
  return stored + TrafficAdded(state, oid, NowMs());  // wraps as a real 64-bit counter does
}

DWORD SetNicField(NicState* state, std::string_view assignment, std::string* error) {
  const size_t equals = assignment.find('=');
  if (equals == std::string_view::npos) {
    *error = "expected FIELD=VALUE: " + std::string(assignment);
    return ERROR_INVALID_PARAMETER;
  }
  const std::string_view field = assignment.substr(0, equals);
  const std::string_view value = assignment.substr(equals + 1);
  NicState changed = *state;
  FoldTraffic(&changed);
  const bool was_on = changed.traffic;
  if (!KnownField(field)) {
    *error = "unknown field '" + std::string(field) + "'";
    return ERROR_INVALID_PARAMETER;
  }
  if (!ApplyField(&changed, field, value)) {
    *error = "bad value for " + std::string(field) + ": '" + std::string(value) + "'";
    return ERROR_INVALID_PARAMETER;
  }
  if (changed.traffic && !was_on) changed.traffic_since_ms = NowMs();
  *state = std::move(changed);
  return ERROR_SUCCESS;
}

std::string ShowNicState(const NicState& state) {
  std::ostringstream out;
  for (const auto& [name, oid] : NicCounterNames())
    out << name << '=' << NicCounter(state, oid) << '\n';
  out << "permanent-address=" << HexBytes(state.permanent_address) << '\n';
  out << "current-address=" << HexBytes(state.current_address) << '\n';
  out << "multicast=";
  for (size_t i = 0; i < state.multicast.size(); ++i)
    out << (i == 0 ? "" : ",") << HexBytes(state.multicast[i]);
  out << '\n';
  out << "multicast-max=" << state.multicast_max << '\n';
  char version[8];
  std::snprintf(version, sizeof version, "0x%04X", state.driver_version);
  out << "driver-version=" << version << '\n';
  out << "link=" << (state.link_up ? "up" : "down") << '\n';
  out << "vendor-id=" << HexBytes(state.vendor_id) << '\n';
  if (state.adapter_info) {
    const NicAdapterInfo& info = *state.adapter_info;
    out << "adapter-info=" << info.mode << ',' << info.text << ',' << info.pair1 << ','
        << info.pair2 << ',' << info.value_a << ',' << info.value_b << ',' << info.value_c << '\n';
  } else {
    out << "adapter-info=none\n";
  }
  out << "silent=" << (state.silent ? 1 : 0) << '\n';
  out << "traffic=" << (state.traffic ? "on" : "off") << '\n';
  return out.str();
}

// The state as file lines, with the raw stored counters and the traffic clock.
std::string NicStateFileText(const NicState& state) {
  std::string text = ShowNicState(state);
  // ShowNicState prints counters as they are now; the file keeps the stored values and the
  // clock, so that the traffic added goes on being computed from the same start.
  std::string stored;
  for (const auto& [name, oid] : NicCounterNames()) {
    auto it = state.counters.find(oid);
    stored += name + "=" + std::to_string(it == state.counters.end() ? 0 : it->second) + "\n";
  }
  size_t first_non_counter = text.find("permanent-address=");
  return stored + text.substr(first_non_counter) +
         "traffic-since=" + std::to_string(state.traffic_since_ms) + "\n";
}

bool ParseNicStateFile(std::string_view text, NicState* state) {
  NicState parsed;
  while (!text.empty()) {
    const size_t end = text.find('\n');
    const std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    if (line.empty()) continue;
    const size_t equals = line.find('=');
    if (equals == std::string_view::npos ||
        !ApplyField(&parsed, line.substr(0, equals), line.substr(equals + 1)))
      return false;
  }
  *state = std::move(parsed);
  return true;
}

}  // namespace pairway
