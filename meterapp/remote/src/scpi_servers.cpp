// The SCPI servers: the remote-control record's life, the engine's interface
// hooks, the TCP server (one client at a time) and the serial server on the
// RS-232 command port. Each transport has its own parser context over the
// one record.
#include <fcntl.h>
#include <pthread.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstdio>
#include <algorithm>
#include <cstdlib>
#include <memory>
#include <new>
#include <stop_token>
#include <thread>

#include "configuration.h"
#include "device_io.h"
#include "log_manager.h"
#include "meter_identity.h"
#include "network.h"
#include "platform.h"
#include "scpi_record.h"
#include "scpi_remote.h"
#include "serial_port.h"
#include "system_log.h"
#include "text_field.h"
#include "unique_fd.h"

SCPI_S* scpi = nullptr;

namespace {

constexpr int kClientSilenceMs = 5000;  // a line without its end runs after this
constexpr std::size_t kReceiveLength = 256;
constexpr int kKeepAliveIdleS = 10;
constexpr int kKeepAliveIntervalS = 5;
constexpr int kKeepAliveCount = 3;
constexpr int kSendTimeoutS = 10;  // a client that stops reading is dropped

// The record and the two server threads. The threads are stopped and joined
// before the record goes, so no handler ever runs on a freed record.
struct ScpiServers {
  std::unique_ptr<SCPI_S> record;
  std::jthread scpi_tcp_thread_id;
  std::jthread scpi_ser_thread_id;
  UniqueFd wakeRead;   // readable once the servers must stop
  UniqueFd wakeWrite;
  std::atomic<std::uint16_t> port{0};
};

ScpiServers& servers() {
  static ScpiServers s;
  return s;
}

[[noreturn]] void exitApplication() {
  std::fflush(nullptr);
  std::_Exit(-1);
}

// ---- Interface hooks ----

bool sendAll(int fd, const char* data, std::size_t length) {
  std::size_t done = 0;
  while (done < length) {
    const ssize_t n = ::send(fd, data + done, length - done, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

bool sendPending(ScpiTransport* transport) {
  const bool ok = transport->pendingLength == 0 || sendAll(*transport->fd, transport->pending.data(),
                                                           transport->pendingLength);
  transport->pendingLength = 0;
  return ok;
}

void markBroken(ScpiTransport* transport) {
  DIAGNOSTIC("write failed errno=%d\n", errno);
  transport->broken = true;
  transport->pendingLength = 0;
}

// The engine writes a reply in several pieces; on a socket they are gathered
// and sent as one by SCPI_Flush after the terminator (one segment per reply
// instead of one per piece).
size_t SCPI_Write(scpi_t* context, const char* data, size_t length) {
  auto* transport = static_cast<ScpiTransport*>(context->user_context);
  if (transport == nullptr || transport->fd == nullptr || *transport->fd < 0 || transport->broken) return 0;
  if (!transport->socket) {
    if (!Device_writeAll(*transport->fd, std::string_view(data, length))) {
      markBroken(transport);
      return 0;
    }
    return length;
  }
  if (transport->pendingLength + length > transport->pending.size()) {
    if (!sendPending(transport) || (length > transport->pending.size() && !sendAll(*transport->fd, data, length))) {
      markBroken(transport);
      return 0;
    }
    if (length > transport->pending.size()) return length;
  }
  std::copy_n(data, length, transport->pending.data() + transport->pendingLength);
  transport->pendingLength += length;
  return length;
}

scpi_result_t SCPI_Flush(scpi_t* context) {
  auto* transport = static_cast<ScpiTransport*>(context->user_context);
  if (transport == nullptr || !transport->socket || transport->fd == nullptr || *transport->fd < 0 ||
      transport->broken) {
    return SCPI_RES_OK;
  }
  if (!sendPending(transport)) markBroken(transport);
  return SCPI_RES_OK;
}

int SCPI_Error(scpi_t*, int_fast16_t code) {
  DIAGNOSTIC("**ERROR: %d, %s\n", static_cast<int>(code), SCPI_ErrorTranslate(code));
  return -1;
}

scpi_result_t SCPI_Control(scpi_t*, scpi_ctrl_name_t control, uint16_t value) {
  if (control == SCPI_CTRL_SRQ) {
    DIAGNOSTIC("**SRQ: 0x%X (%d)\n", value, value);
  } else {
    DIAGNOSTIC("**CTRL %02x: 0x%X (%d)\n", static_cast<unsigned>(control), value, value);
  }
  return SCPI_RES_OK;
}

scpi_result_t SCPI_Reset(scpi_t*) {
  DIAGNOSTIC("**Reset\n");
  return SCPI_RES_OK;
}

// ---- Waiting ----

// Waits for `fd` to become readable or the servers to stop. 1 readable, 0
// time-out, -1 wait error, -2 stop.
int waitReadable(int fd, int timeoutMs, const std::stop_token& stop, short* revents = nullptr) {
  std::array<pollfd, 2> fds{{{fd, POLLIN, 0}, {servers().wakeRead.get(), POLLIN, 0}}};
  const int n = Device_poll(fds.data(), fds.size(), timeoutMs);
  if (stop.stop_requested() || (fds[1].revents & POLLIN) != 0) return -2;
  if (n < 0) return -1;
  if (n == 0) return 0;
  if (revents != nullptr) *revents = fds[0].revents;
  return 1;
}

// ---- TCP ----

UniqueFd createTcpServer(std::uint16_t port) {
  UniqueFd fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (!fd.valid()) {
    DIAGNOSTIC("socket() failed\n");
    return {};
  }
  const int on = 1;
  if (::setsockopt(fd.get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) < 0) {
    DIAGNOSTIC("setsockopt() failed\n");
    return {};
  }
  const int flags = ::fcntl(fd.get(), F_GETFL, 0);
  if (flags < 0 || ::fcntl(fd.get(), F_SETFL, flags | O_NONBLOCK) < 0) {
    DIAGNOSTIC("fcntl() failed\n");
    return {};
  }
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_ANY);
  address.sin_port = htons(port);
  if (::bind(fd.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) < 0) {
    DIAGNOSTIC("bind() failed\n");
    return {};
  }
  if (::listen(fd.get(), 1) < 0) {
    DIAGNOSTIC("listen() failed\n");
    return {};
  }
  socklen_t length = sizeof address;
  if (::getsockname(fd.get(), reinterpret_cast<sockaddr*>(&address), &length) == 0) {
    servers().port = ntohs(address.sin_port);
  }
  return fd;
}

// A peer that vanished without closing (cable pulled, host crashed) is found
// by keep-alive probes, and one that stops reading by the send time-out, so
// that the next client is not locked out for ever.
void configureClient(int fd) {
  const int on = 1;
  const int idle = kKeepAliveIdleS;
  const int interval = kKeepAliveIntervalS;
  const int count = kKeepAliveCount;
  const timeval sendTimeout{kSendTimeoutS, 0};
  if (::setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on) < 0 ||
      ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on) < 0 ||
      ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPIDLE, &idle, sizeof idle) < 0 ||
      ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPINTVL, &interval, sizeof interval) < 0 ||
      ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPCNT, &count, sizeof count) < 0 ||
      ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &sendTimeout, sizeof sendTimeout) < 0) {
    DIAGNOSTIC("setsockopt() failed errno=%d\n", errno);
  }
}

// Serves one client until it leaves, errs or the servers stop.
void serveClient(int client, const std::stop_token& stop) {
  scpi_t* context = &scpi->tcpContext;
  std::array<char, kReceiveLength> buffer{};
  while (!scpi->tcpTransport.broken) {
    const int ready = waitReadable(client, kClientSilenceMs, stop);
    if (ready == -2) return;
    if (ready < 0) {
      DIAGNOSTIC("recv() failed\n");
      return;
    }
    if (ready == 0) {
      SCPI_Input(context, nullptr, 0);
      continue;
    }
    const ssize_t n = ::recv(client, buffer.data(), buffer.size(), 0);
    if (n == 0) return;
    if (n < 0) {
      if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) continue;
      DIAGNOSTIC("recv() failed\n");
      return;
    }
    SCPI_Input(context, buffer.data(), static_cast<std::size_t>(n));
  }
}

void scpiTcpServerThread(const std::stop_token& stop, UniqueFd listener) {
  ::pthread_setname_np(::pthread_self(), "scpiTcpServer");
  DIAGNOSTIC("Starting...\n");
  {
    std::lock_guard guard(scpi->lock);
    for (auto& config : scpi->configs) config.state = NotInitialized;
  }
  scpi->tcpClientFd = -1;
  scpiContext_init(&scpi->tcpContext, scpi->tcpInputBuffer.data(), scpi->tcpErrorQueueData.data(),
                   &scpi->tcpTransport);
  while (!stop.stop_requested()) {
    const int ready = waitReadable(listener.get(), -1, stop);
    if (ready == -2) break;
    if (ready <= 0) continue;
    UniqueFd client(::accept4(listener.get(), nullptr, nullptr, SOCK_CLOEXEC));
    if (!client.valid()) continue;  // the client gave up before it was accepted
    configureClient(client.get());
    scpi->tcpTransport.broken = false;
    scpi->tcpTransport.pendingLength = 0;
    scpi->tcpClientFd = client.get();
    serveClient(client.get(), stop);
    scpi->tcpClientFd = -1;
    // What the client left half typed, or an overrun still being skipped,
    // must not become part of the next client's first command. Its errors
    // stay queued for the next client.
    SCPI_InputDiscard(&scpi->tcpContext);
  }
}

// ---- Serial ----

// Line-by-line input on the RS-232 port with the user's line settings.
bool createSerialServer(const std::string& path) {
  SerialPort_Close();
  if (SerialPort_Open(path.c_str()) < 0) {
    DIAGNOSTIC("Could not open %s\n", path.c_str());
    USER_WARNING("Serial command interface is not enabled.\n");
    return false;
  }
  struct termios config {};
  if (SerialPort_GetConfig(&config) < 0) return false;
  config.c_cflag |= (CLOCAL | CREAD);
  config.c_cflag &= ~CRTSCTS;
  config.c_lflag |= (ISIG | ICANON);
  config.c_lflag &= ~(ECHO | ECHOE | ECHONL | IEXTEN);
  config.c_iflag &= ~(IGNCR | INPCK | INLCR | ICRNL | IUCLC | IMAXBEL | IXON | IXOFF | IXANY);
  config.c_oflag &= ~OPOST;
  config.c_cc[VEOL] = 16;
  config.c_cc[VEOL2] = 0;
  config.c_cc[VEOF] = 4;
  if (SerialPort_SetConfig(&config) < 0) return false;
  configuration_saveSettings();
  return true;
}

void scpiSerialServerThread(const std::stop_token& stop) {
  ::pthread_setname_np(::pthread_self(), "scpiSerialSrv");
  DIAGNOSTIC("Starting...\n");
  scpi_t* context = &scpi->serContext;
  scpiContext_init(context, scpi->serInputBuffer.data(), scpi->serErrorQueueData.data(), &scpi->serTransport);
  if (!createSerialServer(Platform_path(DevicePath::kCommandPort))) {
    // Without the RS-232 port the meter still serves TCP and the screen.
    DIAGNOSTIC("createSerialServer() failed\n");
    return;
  }
  std::array<char, kReceiveLength> buffer{};
  while (!stop.stop_requested()) {
    short revents = 0;
    const int ready = waitReadable(*SerialPort_getfd(), -1, stop, &revents);
    if (ready == -2) return;
    if (ready < 0 || (revents & (POLLIN)) == 0) break;
    buffer.fill('\0');
    const int n = SerialPort_gets(buffer.data(), buffer.size());
    // Only pending input is discarded: a reply still leaving the port stays.
    SerialPort_flushInput();
    if (n < 0) break;
    SCPI_Input(context, n == 0 ? nullptr : buffer.data(), static_cast<std::size_t>(n));
  }
  DIAGNOSTIC("serial_gets() failed\n");
  SerialPort_Close();
}

template <typename Body>
std::jthread spawn(const char* name, Body body) {
  try {
    return std::jthread(std::move(body));
  } catch (const std::system_error&) {
    DIAGNOSTIC("Fail...Cannot spawn the %s.\n", name);
    exitApplication();
  }
}

}  // namespace

const scpi_interface_t scpi_interface = {SCPI_Error, SCPI_Write, SCPI_Control, SCPI_Flush, SCPI_Reset};

void scpiContext_init(scpi_t* context, char* buffer, scpi_error_t* queue, ScpiTransport* transport) {
  SCPI_Init(context, scpi_commands, &scpi_interface, scpi_units_def, kScpiManufacturer, "", "", "", buffer,
            kScpiInputBufferLength, queue, kScpiErrorQueueLength);
  context->user_context = transport;
}

std::uint16_t scpiTcpServer_port() { return servers().port; }

void initScpiParser() {
  auto& s = servers();
  try {
    auto record = std::make_unique<SCPI_S>();
    scpi = record.get();
    s.record = std::move(record);
  } catch (const std::bad_alloc&) {
    DIAGNOSTIC("scpi malloc failed\n");
    exitApplication();
  }
  const MeterIdentity& identity = MeterIdentity_get();
  scpi->modelNum = identity.model;
  scpi->serialNum = identity.serial;
  std::array<char, 128> firmware{};
  getFwVersion(firmware);
  TextField_copy(scpi->fwVersion, TextField_view(firmware));
  scpi->checkIp = validate_ip;
  scpi->checkNetmask = validate_netmask;
  scpi->newLan.method = INET_METHOD_DHCP;
  scpi->tcpTransport.fd = &scpi->tcpClientFd;
  scpi->tcpTransport.socket = true;
  scpi->serTransport.fd = SerialPort_getfd();
  scpi->serTransport.socket = false;
}

void startScpiParser() {
  initScpiParser();
  auto& s = servers();
  std::array<int, 2> wake{-1, -1};
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, wake.data()) < 0) {
    DIAGNOSTIC("socket() failed\n");
    exitApplication();
  }
  s.wakeRead.reset(wake[0]);
  s.wakeWrite.reset(wake[1]);
  UniqueFd listener = createTcpServer(Platform_scpiPort());
  if (!listener.valid()) {
    DIAGNOSTIC("createTcpServer() failed\n");
    exitApplication();
  }
  DIAGNOSTIC("SCPI server listening on port %u\n", static_cast<unsigned>(s.port.load()));
  s.scpi_tcp_thread_id = spawn("scpiTcpServer", [l = std::move(listener)](std::stop_token st) mutable {
    scpiTcpServerThread(st, std::move(l));
  });
  if (configuration_getUseLegacy()) return;  // the port belongs to the legacy interface
  s.scpi_ser_thread_id = spawn("scpiSerialServer", [](std::stop_token st) { scpiSerialServerThread(st); });
}

void destroyScpiParser() {
  auto& s = servers();
  s.scpi_tcp_thread_id.request_stop();
  s.scpi_ser_thread_id.request_stop();
  if (s.wakeWrite.valid()) ::send(s.wakeWrite.get(), "x", 1, MSG_NOSIGNAL);
  if (s.scpi_tcp_thread_id.joinable()) s.scpi_tcp_thread_id.join();
  if (s.scpi_ser_thread_id.joinable()) s.scpi_ser_thread_id.join();
  s.scpi_tcp_thread_id = {};
  s.scpi_ser_thread_id = {};
  s.wakeRead.reset();
  s.wakeWrite.reset();
  s.port = 0;
  // The record itself stays: the display pass may push readings into it
  // until the process ends. A later initScpiParser (tests) replaces it.
}
