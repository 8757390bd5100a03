#include "app/run/output_file.h"

#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <unistd.h>

#include <QDir>
#include <QTemporaryDir>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

namespace bandscope {
namespace {

std::string contents(const std::string& path) {
  std::ostringstream bytes;
  bytes << std::ifstream(path, std::ios::binary).rdbuf();
  return bytes.str();
}

QStringList entries(const std::string& folder) {
  return QDir(QString::fromStdString(folder))
      .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
}

// The failure's text; empty where it succeeded.
std::string why(const Result<void>& result) {
  return result ? std::string() : result.failure().text;
}

bool sameNode(const struct stat& a, const struct stat& b) {
  return a.st_ino == b.st_ino && a.st_mode == b.st_mode && a.st_rdev == b.st_rdev &&
         a.st_size == b.st_size && a.st_mtim.tv_nsec == b.st_mtim.tv_nsec;
}

// A 16 KiB tmpfs in the test's folder, where the test may mount one (root); else none.
struct SmallDisk {
  explicit SmallDisk(const std::string& at) : path(at) {
    mkdir(at.c_str(), 0700);
    mounted = mount("tmpfs", at.c_str(), "tmpfs", 0, "size=16k") == 0;
  }
  ~SmallDisk() {
    if (mounted) umount(path.c_str());
  }
  std::string path;
  bool mounted = false;
};

// What was there stays byte for byte, links included, and no temporary is left.
TEST(OutputFile, AFailedWriteLeavesWhatWasThere) {
  QTemporaryDir dir;
  const std::string d = dir.path().toStdString();
  SmallDisk full(d + "/full");
  const std::string big(64 * 1024, 'x');
  const struct {
    const char* name;  // in the test's folder
    WriteMode mode;
    int error;  // the system's, which the failure names in its words
    bool needsSmallDisk;
  } cases[] = {{"full/old.bmp", WriteMode::Replace, ENOSPC, true},
               {"to-full", WriteMode::Replace, ENOSPC, true},
               {"old.csv", WriteMode::CreateNew, EEXIST, false},
               {"to-old", WriteMode::CreateNew, EEXIST, false},
               {"dangling", WriteMode::CreateNew, EEXIST, false},
               {"loop", WriteMode::Replace, ELOOP, false}};
  std::ofstream(d + "/old.csv") << "an earlier run\n";
  std::ofstream(d + "/full/old.bmp") << "an earlier picture\n";
  ASSERT_EQ(symlink("full/old.bmp", (d + "/to-full").c_str()), 0);
  ASSERT_EQ(symlink("old.csv", (d + "/to-old").c_str()), 0);
  ASSERT_EQ(symlink("nowhere", (d + "/dangling").c_str()), 0);
  ASSERT_EQ(symlink("loop", (d + "/loop").c_str()), 0);
  for (const auto& c : cases) {
    if (c.needsSmallDisk && !full.mounted) continue;  // not root: no tmpfs of our own
    const std::string path = d + '/' + c.name;
    struct stat link {
    }, target{};
    lstat(path.c_str(), &link);
    const bool exists = stat(path.c_str(), &target) == 0;
    const std::string before = contents(path);
    const QStringList here = entries(d), onDisk = entries(d + "/full");
    const Result<void> written = writeFileSafely(path, big, c.mode);
    ASSERT_FALSE(written) << c.name;
    EXPECT_EQ(written.failure().text, std::strerror(c.error)) << c.name;
    EXPECT_EQ(written.failure().code, c.error) << c.name;
    struct stat linkAfter {
    }, targetAfter{};
    lstat(path.c_str(), &linkAfter);
    EXPECT_TRUE(sameNode(link, linkAfter)) << c.name;
    EXPECT_EQ(stat(path.c_str(), &targetAfter) == 0, exists) << c.name;
    if (exists) {
      EXPECT_TRUE(sameNode(target, targetAfter)) << c.name;
    }
    EXPECT_EQ(contents(path), before) << c.name;
    EXPECT_EQ(entries(d), here) << c.name;
    EXPECT_EQ(entries(d + "/full"), onDisk) << c.name;
  }
}

// A device, a pipe, a socket or a folder, in the target's place or at the end of its links, is
// refused before anything is written: by the start-up check and by the write alike.
TEST(OutputFile, ANonFileIsRefusedBeforeAnythingIsWritten) {
  QTemporaryDir dir;
  const std::string d = dir.path().toStdString();
  const bool device = mknod((d + "/full").c_str(), S_IFCHR | 0666, makedev(1, 7)) == 0;
  ASSERT_EQ(mkfifo((d + "/pipe").c_str(), 0600), 0);
  ASSERT_EQ(mkdir((d + "/folder").c_str(), 0700), 0);
  const int listener = socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  const std::string socketPath = d + "/socket";
  ASSERT_LT(socketPath.size(), sizeof address.sun_path);
  socketPath.copy(address.sun_path, socketPath.size());
  ASSERT_EQ(bind(listener, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(symlink(device ? "full" : "pipe", (d + "/to-device").c_str()), 0);
  ASSERT_EQ(symlink((d + "/pipe").c_str(), (d + "/to-pipe").c_str()), 0);
  ASSERT_EQ(symlink("to-pipe", (d + "/to-to-pipe").c_str()), 0);
  const struct {
    const char* name;
    const char* why;
  } cases[] = {{"full", "it is a character device"},
               {"to-device", device ? "it is a character device" : "it is a named pipe"},
               {"pipe", "it is a named pipe"},
               {"to-to-pipe", "it is a named pipe"},
               {"socket", "it is a socket"},
               {"folder", "it is a folder"},
               {"folder/", "it is a folder"}};
  for (const auto& c : cases) {
    if (!device && std::string(c.name) == "full") continue;  // mknod needs root
    const std::string path = d + '/' + c.name;
    struct stat before {};
    ASSERT_EQ(stat(path.c_str(), &before), 0);
    const QStringList here = entries(d);
    EXPECT_EQ(why(checkWritable(path)), c.why) << c.name;
    EXPECT_EQ(why(writeFileSafely(path, "bytes")), c.why) << c.name;
    struct stat after {};
    ASSERT_EQ(stat(path.c_str(), &after), 0);
    EXPECT_TRUE(sameNode(before, after)) << c.name;
    EXPECT_EQ(entries(d), here) << c.name;
  }
  close(listener);
}

// A write reaches the final target of a chain of links and keeps the links; a replaced file
// keeps its mode, a new one has the umask's. Our temporaries killed on the way are cleaned.
TEST(OutputFile, AWriteReplacesTheFinalTargetKeepingLinksAndModes) {
  QTemporaryDir dir;
  const std::string d = dir.path().toStdString();
  ASSERT_EQ(mkdir((d + "/dots").c_str(), 0700), 0);
  std::ofstream(d + "/dots/conf") << "old";
  chmod((d + "/dots/conf").c_str(), 0604);
  ASSERT_EQ(symlink("dots/conf", (d + "/link").c_str()), 0);
  ASSERT_EQ(symlink((d + "/link").c_str(), (d + "/link2").c_str()), 0);
  ASSERT_EQ(symlink("dots/new", (d + "/dangling").c_str()), 0);
  const mode_t umasked = 0666 & ~027;
  const mode_t oldMask = umask(027);
  const struct {
    const char* name;
    WriteMode mode;
    const char* final;  // where the bytes land
    mode_t fileMode;
  } cases[] = {{"fresh.png", WriteMode::Replace, "fresh.png", umasked},
               {"FFT_shot000.bmp", WriteMode::CreateNew, "FFT_shot000.bmp", umasked},
               {"dots/conf", WriteMode::Replace, "dots/conf", 0604},
               {"link2", WriteMode::Replace, "dots/conf", 0604},
               {"dangling", WriteMode::Replace, "dots/new", umasked}};
  for (const auto& c : cases) {
    const std::string bytes = std::string("written as ") + c.name;
    EXPECT_EQ(why(writeFileSafely(d + '/' + c.name, bytes, c.mode)), "") << c.name;
    EXPECT_EQ(contents(d + '/' + c.final), bytes) << c.name;
    struct stat st {};
    ASSERT_EQ(stat((d + '/' + c.final).c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, c.fileMode) << c.name;
  }
  umask(oldMask);
  for (const char* link : {"link", "link2", "dangling"}) {
    struct stat st {};
    EXPECT_TRUE(lstat((d + '/' + link).c_str(), &st) == 0 && S_ISLNK(st.st_mode)) << link;
  }
  EXPECT_EQ(entries(d + "/dots"), QStringList({"conf", "new"})) << "no temporary left";

  const char* kept[] = {".conf.tmpAb12Cd", ".conf.tmpAb12Ce", ".conf.backup", "conf.tmpAb12Cf"};
  for (const char* name : kept) std::ofstream(d + "/dots/" + name) << "x";
  const timespec hourAgo[2] = {{time(nullptr) - 3600, 0}, {time(nullptr) - 3600, 0}};
  for (const char* name : {".conf.tmpAb12Cd", ".conf.backup", "conf.tmpAb12Cf"})
    utimensat(AT_FDCWD, (d + "/dots/" + name).c_str(), hourAgo, 0);
  removeStaleTemporaries(d + "/link2", std::chrono::seconds(60));
  EXPECT_EQ(entries(d + "/dots"),
            QStringList({".conf.backup", ".conf.tmpAb12Ce", "conf", "conf.tmpAb12Cf", "new"}))
      << "only the old temporary of our own pattern goes";
}

}  // namespace
}  // namespace bandscope
