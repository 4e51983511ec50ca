#include "serial_port.h"

#include <gtest/gtest.h>
#include <termios.h>
#include <unistd.h>

#include <string>

#include "device_fixtures.h"
#include "log_manager.h"

namespace {

using test_support::PseudoTerminal;
using test_support::ScratchRoot;

class SerialPortTest : public ::testing::Test {
 protected:
  void SetUp() override { pty.linkAs(root, "/dev/ttyS4"); }
  void TearDown() override { SerialPort_Close(); }

  termios portSettings(int fd) {
    termios t{};
    EXPECT_EQ(::tcgetattr(fd, &t), 0);
    return t;
  }

  ScratchRoot root;
  PseudoTerminal pty;
};

TEST_F(SerialPortTest, SensorLineSettings) {
  // Leave the line as some other program might have: every setting the
  // sensor protocol cannot live with switched on.
  {
    const int other = serial_open(pty.slavePath().c_str());
    ASSERT_GE(other, 0);
    termios dirty = portSettings(other);
    dirty.c_cflag |= PARENB | CSTOPB | CRTSCTS;
    dirty.c_iflag |= BRKINT | INPCK | ISTRIP | ICRNL | IXON | IXOFF | IXANY;
    dirty.c_oflag |= OPOST;
    dirty.c_lflag |= ICANON | ECHO | ISIG | IEXTEN;
    ASSERT_EQ(::tcsetattr(other, TCSANOW, &dirty), 0);
    const termios back = portSettings(other);
    ASSERT_NE(back.c_iflag & INPCK, 0u);
    serial_close(other);
  }
  const int fd = serial_open_forsensor(Platform_path("/dev/ttyS4").c_str());
  ASSERT_GE(fd, 0);
  const termios t = portSettings(fd);
  EXPECT_EQ(::cfgetispeed(&t), static_cast<speed_t>(B9600));
  EXPECT_EQ(::cfgetospeed(&t), static_cast<speed_t>(B9600));
  EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
  EXPECT_EQ(t.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
  EXPECT_NE(t.c_cflag & CLOCAL, 0u);
  EXPECT_NE(t.c_cflag & CREAD, 0u);
  EXPECT_EQ(t.c_iflag & (BRKINT | INPCK | ISTRIP | ICRNL | IXON | IXOFF | IXANY), 0u);
  EXPECT_EQ(t.c_oflag & OPOST, 0u);
  EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
  EXPECT_EQ(t.c_cc[VMIN], 0);
  EXPECT_EQ(t.c_cc[VTIME], 10);

  // Bytes pass unchanged, high bytes are not mistaken for errors, and a quiet
  // line ends the read after the time-out instead of blocking.
  ASSERT_TRUE(pty.writeMaster(std::string("\r\xff", 2)));
  EXPECT_EQ(serial_getc(fd), '\r');
  EXPECT_EQ(serial_getc(fd), 0xff);
  EXPECT_EQ(serial_getc(fd), SERIAL_TIMEOUT);
  char buffer[8];
  EXPECT_EQ(serial_gets(fd, buffer, sizeof buffer), 0);
  EXPECT_EQ(serial_close(fd), 0);
}

TEST_F(SerialPortTest, RemotePortIsRawAndKeepsItsSpeed) {
  const int other = serial_open(pty.slavePath().c_str());
  ASSERT_GE(other, 0);
  termios before = portSettings(other);
  ::cfsetispeed(&before, B4800);
  ::cfsetospeed(&before, B4800);
  ASSERT_EQ(::tcsetattr(other, TCSANOW, &before), 0);

  const int fd = SerialPort_Open(Platform_path("/dev/ttyS4").c_str());
  ASSERT_GE(fd, 0);
  EXPECT_EQ(*SerialPort_getfd(), fd);
  const termios t = portSettings(fd);
  EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG), 0u);
  EXPECT_EQ(t.c_oflag & OPOST, 0u);
  EXPECT_EQ(t.c_cc[VMIN], 1);
  EXPECT_EQ(t.c_cc[VTIME], 0);
  EXPECT_EQ(::cfgetospeed(&t), static_cast<speed_t>(B4800));
  serial_close(other);

  EXPECT_EQ(SerialPort_puts("*IDN?\r\n"), 7);
  EXPECT_EQ(pty.readMaster(7), "*IDN?\r\n");
  ASSERT_TRUE(pty.writeMaster("ab"));
  ASSERT_TRUE(test_support::waitReadable(fd));
  EXPECT_EQ(SerialPort_getc(), 'a');
  char buffer[8] = {};
  EXPECT_EQ(SerialPort_gets(buffer, sizeof buffer), 1);
  EXPECT_EQ(buffer[0], 'b');
}

TEST_F(SerialPortTest, FlushDiscardsPendingInput) {
  ASSERT_GE(SerialPort_Open(Platform_path("/dev/ttyS4").c_str()), 0);
  ASSERT_TRUE(pty.writeMaster("stale"));
  ASSERT_TRUE(test_support::waitReadable(*SerialPort_getfd()));
  EXPECT_EQ(SerialPort_flush(), 0);
  ASSERT_TRUE(pty.writeMaster("k"));
  char buffer[8] = {};
  EXPECT_EQ(SerialPort_gets(buffer, sizeof buffer), 1);
  EXPECT_EQ(buffer[0], 'k');
}

TEST_F(SerialPortTest, ConfigRoundTripsThroughThePort) {
  ASSERT_GE(SerialPort_Open(Platform_path("/dev/ttyS4").c_str()), 0);
  termios t{};
  ASSERT_EQ(SerialPort_GetConfig(&t), 0);
  ::cfsetispeed(&t, B1200);
  ::cfsetospeed(&t, B1200);
  t.c_cflag |= CSTOPB;
  ASSERT_EQ(SerialPort_SetConfig(&t), 0);
  termios back{};
  ASSERT_EQ(SerialPort_GetConfig(&back), 0);
  EXPECT_EQ(::cfgetispeed(&back), static_cast<speed_t>(B1200));
  EXPECT_NE(back.c_cflag & CSTOPB, 0u);
}

TEST_F(SerialPortTest, ReopeningClosesTheEarlierDescriptor) {
  auto openDescriptors = [] {
    return std::distance(std::filesystem::directory_iterator("/proc/self/fd"), std::filesystem::directory_iterator());
  };
  const auto before = openDescriptors();
  ASSERT_GE(SerialPort_Open(Platform_path("/dev/ttyS4").c_str()), 0);
  ASSERT_GE(SerialPort_Open(Platform_path("/dev/ttyS4").c_str()), 0);
  EXPECT_EQ(openDescriptors(), before + 1);  // the first descriptor was closed, not leaked
  EXPECT_EQ(SerialPort_Close(), 0);
  EXPECT_LT(*SerialPort_getfd(), 0);
  EXPECT_FALSE(SerialPort_isOpen());
}

TEST_F(SerialPortTest, FailuresAreLoggedAndReported) {
  EXPECT_LT(serial_open(Platform_path("/dev/ttyS9").c_str()), 0);
  EXPECT_LT(SerialPort_Open(Platform_path("/dev/ttyS9").c_str()), 0);
  EXPECT_FALSE(SerialPort_isOpen());
  termios t{};
  EXPECT_LT(SerialPort_GetConfig(&t), 0);
  EXPECT_LT(SerialPort_SetConfig(&t), 0);
  EXPECT_LT(tty_set_attributes(-1), 0);
  EXPECT_LT(SerialPort_puts("x"), 0);
  const std::string log = root.messages();
  EXPECT_NE(log.find("open " + Platform_path("/dev/ttyS9") + " errno=2"), std::string::npos) << log;
  EXPECT_NE(log.find("tcgetattr errno=9"), std::string::npos) << log;
  EXPECT_NE(log.find("write errno = 9"), std::string::npos) << log;
}

TEST_F(SerialPortTest, DiagnosticDumpListsEveryFlag) {
  const int fd = serial_open_forsensor(Platform_path("/dev/ttyS4").c_str());
  ASSERT_GE(fd, 0);
  tty_log_diag(fd);
  serial_close(fd);
  const std::string log = root.messages();
  for (const char* field : {"c_iflag=0x", "c_oflag=0x", "c_cflag=0x", "c_lflag=0x", "c_line=0x", "c_ispeed=13",
                            "c_ospeed=13"}) {
    EXPECT_NE(log.find(field), std::string::npos) << field;
  }
}

}  // namespace
