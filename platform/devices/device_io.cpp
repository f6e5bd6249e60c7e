// CreateFileA, GetFileSize, DeviceIoControl and GetOverlappedResult: ordinary files of the root,
// the NIC's port devices and its Windows 95 virtual device.
//
// A port device is reached the way the platform reaches it: "\\.\TREVAN1" names the MS-DOS
// device TREVAN1, whose target "\Device\TREVAN1" is the device the driver made for its port; the
// driver stand-in has such a device for every port with a state file (pairway/nic_state.h).
// Every query answers from the port's state as it is now (pairway/nic_state.h).
#include <ntddndis.h>
#include <windows.h>

#include <fcntl.h>
#include <net/if.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>

#include "devices/dos_devices.h"
#include "devices/host_answer.h"
#include "devices/ndis_answer.h"
#include "devices/nic_state_store.h"
#include "pairway/host_nic.h"
#include "pairway/kernel_object.h"
#include "pairway/machine_root.h"
#include "pairway/nic_state.h"

namespace pairway {
namespace {

namespace fs = std::filesystem;

constexpr char kDevicePrefix[] = "\\\\.\\";
constexpr char kDriverDevicePrefix[] = "\\Device\\";
constexpr char kVirtualDeviceName[] = "NICIOVX.VXD";

class FileObject : public KernelObject {
 public:
  FileObject(int fd, fs::path delete_on_close)
      : fd_(fd), delete_on_close_(std::move(delete_on_close)) {}
  ~FileObject() override {
    close(fd_);
    if (!delete_on_close_.empty()) unlink(delete_on_close_.c_str());
  }
  int fd() const { return fd_; }

 private:
  const int fd_;
  const fs::path delete_on_close_;
};

// A device of the NIC driver: one port, or (service empty) the Windows 95 virtual device. A
// port with an interface is served from that Linux interface, the others from their state.
class NicDevice : public KernelObject {
 public:
  NicDevice(fs::path root, std::string service, bool overlapped, std::string interface = {})
      : root_(std::move(root)),
        service_(std::move(service)),
        overlapped_(overlapped),
        interface_(std::move(interface)) {}
  const fs::path& root() const { return root_; }
  const std::string& service() const { return service_; }
  bool virtual_device() const { return service_.empty(); }
  bool overlapped() const { return overlapped_; }
  const std::string& interface() const { return interface_; }

 private:
  const fs::path root_;
  const std::string service_;
  const bool overlapped_;
  const std::string interface_;
};

HANDLE Fail(DWORD error) {
  SetLastError(error);
  return INVALID_HANDLE_VALUE;
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && strncasecmp(a.data(), b.data(), a.size()) == 0;
}

HANDLE OpenVirtualDevice(const fs::path& root, DWORD flags) {
  // The virtual device exists on Windows 95 only, loaded from the system directory.
  fs::path file;
  if (RootOsFlavor(root) != OsFlavor::kWindows95 ||
      MapNtPath(SystemDirectoryNt(OsFlavor::kWindows95) + "\\" + kVirtualDeviceName, &file) !=
          ERROR_SUCCESS ||
      !fs::is_regular_file(file))
    return Fail(ERROR_FILE_NOT_FOUND);
  HANDLE handle = InsertHandle(
      std::make_shared<NicDevice>(root, std::string(), (flags & FILE_FLAG_OVERLAPPED) != 0));
  return handle == nullptr ? INVALID_HANDLE_VALUE : handle;
}

HANDLE OpenDevice(std::string_view name, DWORD flags) {
  const std::optional<fs::path> root = MachineRoot();
  if (!root) return Fail(ERROR_FILE_NOT_FOUND);
  if (EqualsIgnoringCase(name, kVirtualDeviceName)) return OpenVirtualDevice(*root, flags);
  const std::vector<std::string> targets = DosDeviceTargets(*root, name);
  if (targets.empty()) return Fail(ERROR_FILE_NOT_FOUND);
  const std::string& target = targets.front();
  const size_t prefix = std::strlen(kDriverDevicePrefix);
  if (target.size() <= prefix || !EqualsIgnoringCase(target.substr(0, prefix), kDriverDevicePrefix))
    return Fail(ERROR_FILE_NOT_FOUND);
  const std::string service = target.substr(prefix);
  std::string interface;
  if (HostInterfaceOfService(service, &interface) == ERROR_SUCCESS) {
    // The driver made no device for a port whose interface this namespace does not have.
    if (interface.size() >= IF_NAMESIZE || if_nametoindex(interface.c_str()) == 0)
      return Fail(ERROR_FILE_NOT_FOUND);
  } else {
    DWORD status = ERROR_SUCCESS;
    LoadNicState(*root, service, &status);
    if (status == ERROR_FILE_NOT_FOUND || status == ERROR_INVALID_NAME)
      return Fail(ERROR_FILE_NOT_FOUND);
  }
  HANDLE handle = InsertHandle(std::make_shared<NicDevice>(
      *root, service, (flags & FILE_FLAG_OVERLAPPED) != 0, std::move(interface)));
  return handle == nullptr ? INVALID_HANDLE_VALUE : handle;
}

DWORD ErrnoToError(int error) {
  switch (error) {
    case ENOENT:
      return ERROR_FILE_NOT_FOUND;
    case ENOTDIR:
      return ERROR_PATH_NOT_FOUND;
    case EEXIST:
      return ERROR_FILE_EXISTS;
    case EACCES:
    case EPERM:
    case EISDIR:
    case EROFS:
      return ERROR_ACCESS_DENIED;
    case EMFILE:
    case ENFILE:
      return ERROR_TOO_MANY_OPEN_FILES;
    default:
      return ERROR_GEN_FAILURE;
  }
}

HANDLE OpenFile(LPCSTR nt_path, DWORD access, DWORD disposition, DWORD flags) {
  int open_flags = O_CLOEXEC;
  switch (disposition) {
    case CREATE_NEW:
      open_flags |= O_CREAT | O_EXCL;
      break;
    case CREATE_ALWAYS:
      open_flags |= O_CREAT | O_TRUNC;
      break;
    case OPEN_EXISTING:
      break;
    case OPEN_ALWAYS:
      open_flags |= O_CREAT;
      break;
    case TRUNCATE_EXISTING:
      if ((access & GENERIC_WRITE) == 0) return Fail(ERROR_INVALID_PARAMETER);
      open_flags |= O_TRUNC;
      break;
    default:
      return Fail(ERROR_INVALID_PARAMETER);
  }
  const bool read = (access & (GENERIC_READ | GENERIC_ALL)) != 0;
  const bool write = (access & (GENERIC_WRITE | GENERIC_ALL)) != 0;
  open_flags |= write ? (read ? O_RDWR : O_WRONLY) : O_RDONLY;
  fs::path host;
  const DWORD mapped = MapNtPath(nt_path, &host);
  if (mapped != ERROR_SUCCESS)
    return Fail(mapped == ERROR_INVALID_NAME ? ERROR_INVALID_NAME : mapped);
  const int fd = open(host.c_str(), open_flags, 0644);
  if (fd < 0) return Fail(ErrnoToError(errno));
  struct stat info {};
  if (fstat(fd, &info) != 0 || S_ISDIR(info.st_mode)) {
    close(fd);
    return Fail(ERROR_ACCESS_DENIED);  // as the platform answers for a folder
  }
  HANDLE handle = InsertHandle(std::make_shared<FileObject>(
      fd, (flags & FILE_FLAG_DELETE_ON_CLOSE) != 0 ? host : fs::path()));
  return handle == nullptr ? INVALID_HANDLE_VALUE : handle;
}

// One request to a device, answered at once: ERROR_SUCCESS with *written, or an error.
DWORD DeviceRequest(const NicDevice& device, DWORD code, const BYTE* in, DWORD in_size, BYTE* out,
                    DWORD out_size, DWORD* written) {
  auto read32 = [&](size_t offset) {
    DWORD value = 0;
    for (int i = 0; i < 4; ++i) value |= static_cast<DWORD>(in[offset + i]) << (8 * i);
    return value;
  };
  std::string service = device.service();
  DWORD oid = 0;
  if (!device.virtual_device()) {
    if (code != IOCTL_NDIS_QUERY_GLOBAL_STATS) return ERROR_INVALID_FUNCTION;
    if (in == nullptr || in_size < 4) return ERROR_INVALID_PARAMETER;
    oid = read32(0);
    if (!device.interface().empty())
      return AnswerHostNdisQuery(device.interface(), oid, out, out_size, written);
  } else {
    // The virtual device reaches the emulated adapters only: a Windows 95 machine root is an
    // emulation of that system, with no Linux interfaces behind its driver.
    if (code != kVxdQueryOid && code != kVxdAdapterCount) return ERROR_INVALID_FUNCTION;
    if (in == nullptr || in_size < 8) return ERROR_INVALID_PARAMETER;
    const std::shared_ptr<const std::vector<std::string>> adapters = LoadNicPorts(device.root());
    if (code == kVxdAdapterCount) {
      if (out_size < 4) return ERROR_INSUFFICIENT_BUFFER;
      const auto count = static_cast<DWORD>(adapters->size());
      for (int i = 0; i < 4; ++i) out[i] = static_cast<BYTE>(count >> (8 * i));
      *written = 4;
      return ERROR_SUCCESS;
    }
    oid = read32(0);
    const DWORD adapter = read32(4);
    if (adapter >= adapters->size()) return ERROR_INVALID_PARAMETER;
    service = (*adapters)[adapter];
  }
  DWORD status = ERROR_SUCCESS;
  const std::shared_ptr<const NicState> state = LoadNicState(device.root(), service, &status);
  // A port whose state went away is a card that was taken out: the driver answers nothing.
  if (!state) return ERROR_GEN_FAILURE;
  return AnswerNdisQuery(*state, oid, out, out_size, written);
}

}  // namespace
}  // namespace pairway

extern "C" {

HANDLE WINAPI CreateFileA(LPCSTR lpFileName, DWORD dwDesiredAccess, DWORD /*dwShareMode*/,
                          LPSECURITY_ATTRIBUTES /*lpSecurityAttributes*/,
                          DWORD dwCreationDisposition, DWORD dwFlagsAndAttributes,
                          HANDLE /*hTemplateFile*/) {
  if (lpFileName == nullptr || *lpFileName == '\0') return pairway::Fail(ERROR_PATH_NOT_FOUND);
  const size_t prefix = std::strlen(pairway::kDevicePrefix);
  if (std::strncmp(lpFileName, pairway::kDevicePrefix, prefix) == 0)
    return pairway::OpenDevice(lpFileName + prefix, dwFlagsAndAttributes);
  return pairway::OpenFile(lpFileName, dwDesiredAccess, dwCreationDisposition,
                           dwFlagsAndAttributes);
}

DWORD WINAPI GetFileSize(HANDLE hFile, LPDWORD lpFileSizeHigh) {
  auto file = pairway::LookupHandle<pairway::FileObject>(hFile);
  struct stat info {};
  if (file == nullptr || fstat(file->fd(), &info) != 0) {
    SetLastError(ERROR_INVALID_HANDLE);
    return INVALID_FILE_SIZE;
  }
  const auto size = static_cast<uint64_t>(info.st_size);
  if (lpFileSizeHigh != nullptr) *lpFileSizeHigh = static_cast<DWORD>(size >> 32);
  // A size whose low half is INVALID_FILE_SIZE is told apart by the last error, as on the platform.
  SetLastError(ERROR_SUCCESS);
  return static_cast<DWORD>(size);
}

BOOL WINAPI DeviceIoControl(HANDLE hDevice, DWORD dwIoControlCode, LPVOID lpInBuffer,
                            DWORD nInBufferSize, LPVOID lpOutBuffer, DWORD nOutBufferSize,
                            LPDWORD lpBytesReturned, LPOVERLAPPED lpOverlapped) {
  std::shared_ptr<pairway::KernelObject> object = pairway::LookupObject(hDevice);
  if (object == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  auto device = std::dynamic_pointer_cast<pairway::NicDevice>(object);
  if (device == nullptr) {
    SetLastError(ERROR_INVALID_FUNCTION);
    return FALSE;
  }
  const bool pending = lpOverlapped != nullptr && device->overlapped();
  if ((lpOutBuffer == nullptr && nOutBufferSize > 0) || (lpBytesReturned == nullptr && !pending)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  DWORD written = 0;
  const DWORD status = pairway::DeviceRequest(
      *device, dwIoControlCode, static_cast<const BYTE*>(lpInBuffer), nInBufferSize,
      static_cast<BYTE*>(lpOutBuffer), nOutBufferSize, &written);
  if (pending) {
    // The request goes to the device's queue; its outcome is recorded in the OVERLAPPED
    // (Internal: the error code, InternalHigh: the bytes) and its event is set.
    lpOverlapped->InternalHigh = written;
    lpOverlapped->Internal = status;
    if (lpOverlapped->hEvent != nullptr) SetEvent(lpOverlapped->hEvent);
    SetLastError(ERROR_IO_PENDING);
    return FALSE;
  }
  if (status != ERROR_SUCCESS) {
    SetLastError(status);
    return FALSE;
  }
  *lpBytesReturned = written;
  return TRUE;
}

BOOL WINAPI GetOverlappedResult(HANDLE hFile, LPOVERLAPPED lpOverlapped,
                                LPDWORD lpNumberOfBytesTransferred, BOOL bWait) {
  if (pairway::LookupObject(hFile) == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (lpOverlapped == nullptr || lpNumberOfBytesTransferred == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (lpOverlapped->Internal == STATUS_PENDING) {
    if (!bWait || lpOverlapped->hEvent == nullptr) {
      SetLastError(ERROR_IO_INCOMPLETE);
      return FALSE;
    }
    WaitForSingleObject(lpOverlapped->hEvent, INFINITE);
  }
  *lpNumberOfBytesTransferred = static_cast<DWORD>(lpOverlapped->InternalHigh);
  if (lpOverlapped->Internal != ERROR_SUCCESS) {
    SetLastError(static_cast<DWORD>(lpOverlapped->Internal));
    return FALSE;
  }
  return TRUE;
}

}  // extern "C"
