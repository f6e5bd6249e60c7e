// The service manager's framing, and the service side's refusal outside the manager.
#include "services/scm_wire.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <unistd.h>
#include <windows.h>

#include <string>

namespace pairway::scm {
namespace {

std::string Body(const std::string& frame) { return frame.substr(4); }

TEST(ScmWire, FramesRoundTripThroughTheBuffer) {
  SERVICE_STATUS status{SERVICE_WIN32_OWN_PROCESS, SERVICE_RUNNING, 5, 0, 7, 3, 2000};
  FrameWriter writer(MessageKind::kStartService);
  std::string frame = writer.Text("Svc").U32(1).Text("arg one").Status(status).Bytes();
  FrameBuffer buffer;
  bool malformed = false;
  buffer.Append(frame.data(), 5);  // a partial frame waits for the rest
  EXPECT_FALSE(buffer.Next(&malformed));
  buffer.Append(frame.data() + 5, frame.size() - 5);
  std::optional<std::string> body = buffer.Next(&malformed);
  ASSERT_TRUE(body);
  FrameReader reader(*body);
  MessageKind kind{};
  std::string name, arg;
  uint32_t count = 0;
  SERVICE_STATUS read{};
  ASSERT_TRUE(reader.Kind(&kind) && reader.Text(&name) && reader.U32(&count) && reader.Text(&arg) &&
              reader.Status(&read));
  EXPECT_TRUE(reader.Finish());
  EXPECT_EQ(kind, MessageKind::kStartService);
  EXPECT_EQ(name, "Svc");
  EXPECT_EQ(arg, "arg one");
  EXPECT_EQ(read.dwServiceSpecificExitCode, 7u);
  EXPECT_EQ(read.dwWaitHint, 2000u);
}

TEST(ScmWire, ImpossibleLengthsAreMalformed) {
  for (uint32_t length : {0u, 3u, kMaxFrameBody + 1, 0xffffffffu}) {
    std::string header(reinterpret_cast<const char*>(&length), 4);
    FrameBuffer buffer;
    buffer.Append(header.data(), header.size());
    bool malformed = false;
    EXPECT_FALSE(buffer.Next(&malformed));
    EXPECT_TRUE(malformed) << length;
  }
}

TEST(ScmWire, ReaderRejectsShortLongAndHostileFields) {
  FrameWriter writer(MessageKind::kQuery);
  std::string body = Body(writer.Text("abc").Bytes());
  MessageKind kind{};
  std::string text;
  uint32_t value = 0;
  {  // a trailing byte: the fields do not fill the body exactly
    FrameReader reader(body + "x");
    ASSERT_TRUE(reader.Kind(&kind) && reader.Text(&text));
    EXPECT_FALSE(reader.Finish());
  }
  {  // a text that claims more bytes than there are
    FrameReader reader(body.substr(0, body.size() - 1));
    EXPECT_TRUE(reader.Kind(&kind));
    EXPECT_FALSE(reader.Text(&text));
    EXPECT_FALSE(reader.U32(&value)) << "a failed reader stays failed";
  }
  {  // a NUL inside a name would cut it short in the registry
    FrameWriter with_nul(MessageKind::kQuery);
    FrameReader reader(Body(with_nul.Text(std::string("a\0b", 3)).Bytes()));
    EXPECT_TRUE(reader.Kind(&kind));
    EXPECT_FALSE(reader.Text(&text));
  }
  {  // an over-long text is refused rather than read
    std::string long_body = Body(FrameWriter(MessageKind::kQuery).Bytes());
    uint32_t length = kMaxText + 1;
    long_body.append(reinterpret_cast<const char*>(&length), 4);
    long_body.append(length, 'a');
    FrameReader reader(long_body);
    EXPECT_TRUE(reader.Kind(&kind));
    EXPECT_FALSE(reader.Text(&text));
  }
}

TEST(ScmWire, BlockingHelpersCarryFramesAndStopAtAHostileLength) {
  int pair[2];
  ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, pair), 0);
  FrameWriter writer(MessageKind::kDeliver);
  ASSERT_TRUE(SendFrame(pair[0], writer.U32(200).Bytes()));
  std::string body;
  ASSERT_TRUE(ReceiveFrame(pair[1], &body));
  EXPECT_EQ(body, Body(FrameWriter(MessageKind::kDeliver).U32(200).Bytes()));
  uint32_t huge = 0xffffffffu;
  ASSERT_EQ(write(pair[0], &huge, 4), 4);
  EXPECT_FALSE(ReceiveFrame(pair[1], &body));
  close(pair[0]);
  EXPECT_FALSE(ReceiveFrame(pair[1], &body));
  close(pair[1]);
}

void WINAPI NeverRuns(DWORD, LPSTR*) { ADD_FAILURE() << "a service main ran without a manager"; }

// Started by hand, a service process has no channel to a manager.
TEST(ScmDispatcher, WithoutTheManagersChannelTheDispatcherFailsWith1063) {
  char name[] = "Lonely";
  SERVICE_TABLE_ENTRYA table[] = {{name, NeverRuns}, {nullptr, nullptr}};
  unsetenv(kChannelVariable);
  EXPECT_FALSE(StartServiceCtrlDispatcherA(table));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FAILED_SERVICE_CONTROLLER_CONNECT));

  // A variable that names something other than a socket is no channel either.
  int file = open("/dev/null", O_RDONLY);
  setenv(kChannelVariable, std::to_string(file).c_str(), 1);
  EXPECT_FALSE(StartServiceCtrlDispatcherA(table));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FAILED_SERVICE_CONTROLLER_CONNECT));
  setenv(kChannelVariable, "3junk", 1);
  EXPECT_FALSE(StartServiceCtrlDispatcherA(table));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FAILED_SERVICE_CONTROLLER_CONNECT));
  unsetenv(kChannelVariable);
  close(file);

  EXPECT_EQ(RegisterServiceCtrlHandlerA("Lonely", [](DWORD) {}), 0u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SERVICE_DOES_NOT_EXIST));
  SERVICE_STATUS status{};
  EXPECT_FALSE(SetServiceStatus(1, &status));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

}  // namespace
}  // namespace pairway::scm
