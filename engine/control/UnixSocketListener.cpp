#include "UnixSocketListener.h"

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>

#include <cerrno>
#include <cstring>
#include <system_error>

#include "NqFPEngXControl_TLB.h"

namespace {

constexpr int kBacklog = 16;

[[noreturn]] void Fail(const std::string& AWhat, const std::string& APath, int AError) {
  throw EOleException("Sensor control socket " + APath + ": " + AWhat + " (" +
                      std::system_category().message(AError) + ")");
}

[[noreturn]] void Fail(const std::string& AWhat, const std::string& APath) {
  throw EOleException("Sensor control socket " + APath + ": " + AWhat);
}

sockaddr_un AddressOf(const std::string& APath) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (APath.size() >= sizeof(address.sun_path)) Fail("path too long", APath);
  std::memcpy(address.sun_path, APath.c_str(), APath.size() + 1);
  return address;
}

std::string ParentOf(const std::string& APath) {
  const auto slash = APath.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : APath.substr(0, slash);
}

// Creates the directory private to this user when missing. An existing one must be a real
// directory that is ours or, when others may write to it, has the sticky bit (as /tmp has),
// so no other user can swap the socket file.
void PrepareDirectory(const std::string& ADirectory, const std::string& APath) {
  if (::mkdir(ADirectory.c_str(), 0700) != 0 && errno != EEXIST) {
    Fail("cannot create directory " + ADirectory, APath, errno);
  }
  struct stat info {};
  if (::lstat(ADirectory.c_str(), &info) != 0) Fail("cannot inspect " + ADirectory, APath, errno);
  if (!S_ISDIR(info.st_mode)) Fail(ADirectory + " is not a directory", APath);
  const bool othersWrite = (info.st_mode & (S_IWGRP | S_IWOTH)) != 0;
  if (info.st_uid != ::geteuid() && othersWrite && (info.st_mode & S_ISVTX) == 0) {
    Fail(ADirectory + " is writable by other users", APath);
  }
}

// A socket file nobody listens on any more is removed; a live one is left alone.
void RemoveStaleSocket(const std::string& APath, const sockaddr_un& AAddress) {
  struct stat info {};
  if (::lstat(APath.c_str(), &info) != 0) {
    if (errno == ENOENT) return;
    Fail("cannot inspect the path", APath, errno);
  }
  if (!S_ISSOCK(info.st_mode)) Fail("the path exists and is not a socket", APath);
  const TUniqueFd probe(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
  if (!probe.Valid()) Fail("cannot create a socket", APath, errno);
  if (::connect(probe.Get(), reinterpret_cast<const sockaddr*>(&AAddress), sizeof(AAddress)) == 0) {
    Fail("another engine is already listening there", APath);
  }
  const int error = errno;
  if (error == EAGAIN) Fail("another engine is already listening there", APath);
  if (error != ECONNREFUSED && error != ENOENT)
    Fail("cannot probe the existing socket", APath, error);
  if (::unlink(APath.c_str()) != 0 && errno != ENOENT) {
    Fail("cannot remove the stale socket", APath, errno);
  }
}

}  // namespace

TUnixSocketListener::TUnixSocketListener(std::string APath) : FPath(std::move(APath)) {
  const sockaddr_un address = AddressOf(FPath);
  PrepareDirectory(ParentOf(FPath), FPath);
  RemoveStaleSocket(FPath, address);
  FSocket.Reset(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
  if (!FSocket.Valid()) Fail("cannot create a socket", FPath, errno);
  if (::bind(FSocket.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0) {
    Fail("cannot bind", FPath, errno);
  }
  struct stat info {};
  if (::chmod(FPath.c_str(), 0600) != 0 || ::lstat(FPath.c_str(), &info) != 0) {
    const int error = errno;
    ::unlink(FPath.c_str());
    Fail("cannot secure the socket file", FPath, error);
  }
  FDevice = info.st_dev;
  FInode = info.st_ino;
  if (::listen(FSocket.Get(), kBacklog) != 0) {
    const int error = errno;
    ::unlink(FPath.c_str());
    Fail("cannot listen", FPath, error);
  }
}

TUnixSocketListener::~TUnixSocketListener() {
  struct stat info {};
  if (::lstat(FPath.c_str(), &info) == 0 && info.st_dev == FDevice && info.st_ino == FInode) {
    ::unlink(FPath.c_str());
  }
}
