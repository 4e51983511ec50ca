#include "simulator.h"

#include <poll.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cmath>
#include <mutex>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "device_root.h"
#include "pty.h"
#include "serial_sensor.h"
#include "usb_sensor.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// One byte on a 9600 baud 8N1 line: start bit, 8 data bits, stop bit.
constexpr auto kByteTime = std::chrono::nanoseconds(1'041'667);
constexpr int kPluggedCurrent = 320;  // mA; the meter sees a sensor above 250
constexpr int kPulledCurrent = 0;
constexpr auto kPollTimeout = 10ms;
constexpr std::size_t kUsbInputMax = 4096;  // bytes of one message a USB sensor keeps

struct SerialPortSim {
  std::mutex lock;
  std::unique_ptr<Pty> pty;
  SerialSensor sensor;
  bool plugged = false;
};

struct UsbPortSim {
  std::mutex lock;
  std::shared_ptr<Pty> pty;  // none while pulled out
  UsbSensor sensor;
  bool plugged = false;
};

// Writes everything unless the reader stops taking bytes for long: then the
// rest is dropped, as bytes on a line no one listens to are.
void writeAll(int fd, std::string_view data) {
  while (!data.empty()) {
    const ssize_t n = ::write(fd, data.data(), data.size());
    if (n > 0) {
      data.remove_prefix(static_cast<std::size_t>(n));
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno != EAGAIN) return;
    pollfd p{fd, POLLOUT, 0};
    if (::poll(&p, 1, 200) <= 0) return;
  }
}

bool waitReadable(int fd, std::chrono::milliseconds timeout) {
  pollfd p{fd, POLLIN, 0};
  return ::poll(&p, 1, static_cast<int>(timeout.count())) > 0 && (p.revents & POLLIN) != 0;
}

class LinePacer {
 public:
  explicit LinePacer(bool paced) : paced_(paced) {}
  // Waits until one more byte has passed the line. While the line is busy the
  // next byte follows the previous one's deadline, not the moment this thread
  // happened to wake up, so late wake-ups do not add up over a message.
  void byte() {
    if (!paced_) return;
    const auto now = Clock::now();
    free_ = (now - free_ < kByteTime ? free_ : now) + kByteTime;
    std::this_thread::sleep_until(free_);
  }

 private:
  bool paced_;
  Clock::time_point free_{};
};

void runSerial(const std::stop_token& stop, SerialPortSim& port, bool paced) {
  const int fd = port.pty->master();
  LinePacer receive(paced);
  LinePacer send(paced);
  LinePacer babble(true);  // a babbling sensor floods at the line rate, never faster
  std::string input;
  while (!stop.stop_requested()) {
    bool babbling = false;
    {
      std::lock_guard guard(port.lock);
      babbling = port.plugged && port.sensor.fault == SerialFault::babble;
    }
    if (babbling) {
      babble.byte();
      writeAll(fd, "\x55");
    }
    if (!waitReadable(fd, babbling ? 0ms : kPollTimeout)) continue;
    std::array<char, 64> bytes{};
    const ssize_t n = ::read(fd, bytes.data(), bytes.size());
    if (n <= 0) continue;
    for (ssize_t i = 0; i < n; ++i) {
      receive.byte();
      input.push_back(bytes[static_cast<std::size_t>(i)]);
      std::string reply;
      {
        std::lock_guard guard(port.lock);
        if (port.plugged) {
          reply = port.sensor.respond(input);
        } else {
          input.clear();
        }
      }
      if (!paced) {
        writeAll(fd, reply);
        continue;
      }
      for (const char c : reply) {
        send.byte();
        writeAll(fd, std::string_view(&c, 1));
      }
    }
  }
}

void runUsb(const std::stop_token& stop, UsbPortSim& port) {
  std::shared_ptr<Pty> current;
  std::string pending;
  bool discarding = false;
  while (!stop.stop_requested()) {
    std::shared_ptr<Pty> pty;
    {
      std::lock_guard guard(port.lock);
      pty = port.pty;
    }
    if (pty != current) {
      current = pty;
      pending.clear();
      discarding = false;
    }
    if (!pty) {
      std::this_thread::sleep_for(kPollTimeout);
      continue;
    }
    if (!waitReadable(pty->master(), kPollTimeout)) continue;
    std::array<char, 512> bytes{};
    const ssize_t n = ::read(pty->master(), bytes.data(), bytes.size());
    if (n <= 0) continue;
    std::string_view arrived(bytes.data(), static_cast<std::size_t>(n));
    if (discarding) {
      // The rest of an over-long message goes, up to its line feed.
      const std::size_t end = arrived.find('\n');
      if (end == std::string_view::npos) continue;
      arrived.remove_prefix(end + 1);
      discarding = false;
    }
    pending.append(arrived);
    // Each message of the meter ends with a line feed.
    for (std::size_t end = pending.find('\n'); end != std::string::npos; end = pending.find('\n')) {
      const std::string message = pending.substr(0, end);
      pending.erase(0, end + 1);
      std::optional<std::string> reply;
      {
        std::lock_guard guard(port.lock);
        if (port.pty == pty) reply = port.sensor.handle(message);
      }
      if (reply) writeAll(pty->master(), *reply);
    }
    if (pending.size() > kUsbInputMax) {
      // Like an instrument's input buffer: an over-long message is dropped
      // and reported, never stored without end.
      pending.clear();
      discarding = true;
      std::lock_guard guard(port.lock);
      if (port.pty == pty) port.sensor.pushError(-363, "Input buffer overrun");
    }
  }
}

// The RS-232 command port: a null-modem cable between the meter's
// "/dev/ttyS4" and the remote computer's end "sim/rs232".
void runRelay(const std::stop_token& stop, const Pty& meter, const Pty& computer) {
  std::array<pollfd, 2> fds{{{meter.master(), POLLIN, 0}, {computer.master(), POLLIN, 0}}};
  while (!stop.stop_requested()) {
    if (::poll(fds.data(), fds.size(), static_cast<int>(kPollTimeout.count())) <= 0) continue;
    for (std::size_t i = 0; i < fds.size(); ++i) {
      if ((fds[i].revents & POLLIN) == 0) continue;
      std::array<char, 256> bytes{};
      const ssize_t n = ::read(fds[i].fd, bytes.data(), bytes.size());
      if (n > 0) writeAll(fds[1 - i].fd, std::string_view(bytes.data(), static_cast<std::size_t>(n)));
    }
  }
}

std::vector<std::string> words(std::string_view line) {
  std::vector<std::string> out;
  std::istringstream in{std::string(line)};
  for (std::string w; in >> w;) out.push_back(w);
  return out;
}

std::optional<float> number(const std::string& text) {
  float value = 0.0F;
  const char* begin = text.data() + (!text.empty() && text.front() == '+' ? 1 : 0);
  const auto [end, ec] = std::from_chars(begin, text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

std::optional<int> integer(const std::string& text) {
  int value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

std::string serialFor(const std::string& model) {
  std::string digits;
  for (const char c : model) {
    if (c >= '0' && c <= '9') digits.push_back(c);
  }
  return (digits + "12345").substr(0, 8);
}

}  // namespace

const char* Simulator_help() {
  return "plug SENSOR [MODEL [SERIAL]] plug a sensor in (SENSOR: serial1 serial2 usb1 usb2);\n"
         "                             a USB sensor may get its own serial number (digits)\n"
         "pull SENSOR                  pull it out\n"
         "set SENSOR QUANTITY VALUE    fwd rfl freq temp (all); maxpower minpower (serial);\n"
         "                             prd prf width dcyc gatemean gatemax gatemin questionable\n"
         "                             state1.mean ... state4.min (usb); SI units, freq in Hz\n"
         "fault SENSOR FAULT           none short silent babble (serial); none short silent opc-never (usb)\n"
         "error SENSOR CODE [TEXT]     put an entry in a USB sensor's error queue\n"
         "count SENSOR HEADER          how many times a USB sensor received HEADER\n"
         "received SENSOR [reset]      the commands (not queries) a USB sensor received since the\n"
         "                             last reset or its plug-in: OK TOTAL HEADER=N ...; reset starts anew\n"
         "scpi SENSOR MESSAGE          hand a USB sensor one message; its reply follows OK\n"
         "status                       every port: model and plugged or pulled\n"
         "battery voltage|current|charge|temp|state VALUE\n"
         "                             fuel gauge in V, A, counts, degC; charger state bits (0x.. or decimal)\n"
         "battery read FILE            what a charger or gauge file holds (what the meter wrote)\n"
         "battery remove FILE          take a file away; battery write FILE TEXT puts one back\n"
         "help                         this text\n"
         "quit                         stop the simulator\n";
}

struct Simulator::Impl {
  SimOptions options;
  std::array<SerialPortSim, 2> serial;
  std::array<UsbPortSim, 2> usb;
  std::unique_ptr<Pty> remoteMeter;
  std::unique_ptr<Pty> remoteComputer;
  std::vector<std::jthread> threads;
  std::atomic<bool> quit{false};

  std::string serialLink(std::size_t i) const { return options.root + (i == 0 ? "/dev/ttyS1" : "/dev/ttyS2"); }
  std::string usbLink(std::size_t i) const { return options.root + (i == 0 ? "/dev/usbtmc0" : "/dev/usbtmc1"); }

  std::string plug(bool isUsb, std::size_t i, const std::vector<std::string>& w);
  std::string pull(bool isUsb, std::size_t i);
  std::string set(bool isUsb, std::size_t i, const std::string& quantity, float value);
  std::string fault(bool isUsb, std::size_t i, const std::string& name);
  std::string usbOnly(const std::vector<std::string>& w, std::size_t i, std::string_view line);
  std::string status();
  std::string battery(const std::vector<std::string>& w);
};

std::string Simulator::Impl::plug(bool isUsb, std::size_t i, const std::vector<std::string>& w) {
  const std::string model = w.size() > 2 ? w[2] : std::string();
  if (!isUsb) {
    if (model.size() > 8) return "ERR a serial model text has at most 8 characters";
    {
      std::lock_guard guard(serial[i].lock);
      if (!model.empty()) {
        SerialSensor fresh(model, serialFor(model));
        fresh.readings = serial[i].sensor.readings;
        fresh.fault = serial[i].sensor.fault;
        serial[i].sensor = std::move(fresh);
      }
      serial[i].plugged = true;
    }
    DeviceRoot_setCurrent(options.root, static_cast<int>(i), kPluggedCurrent);
    return "OK";
  }
  if (model.size() > 20) return "ERR a USB model text has at most 20 characters";
  const std::string serialNumber = w.size() > 3 ? w[3] : std::string();
  if (serialNumber.size() > 8 || serialNumber.find_first_not_of("0123456789") != std::string::npos) {
    return "ERR a USB serial number is up to 8 digits";
  }
  auto pty = std::make_shared<Pty>(options.usbTimeoutTenths);
  {
    // A sensor plugged in starts from its power-on settings.
    std::lock_guard guard(usb[i].lock);
    const std::string name = model.empty() ? usb[i].sensor.model() : model;
    UsbSensor fresh(name, serialNumber.empty() ? serialFor(name) : serialNumber);
    fresh.readings = usb[i].sensor.readings;
    fresh.fault = usb[i].sensor.fault;
    usb[i].sensor = std::move(fresh);
    usb[i].pty = pty;
    usb[i].plugged = true;
  }
  DeviceRoot_link(pty->slavePath(), usbLink(i));
  return "OK";
}

std::string Simulator::Impl::pull(bool isUsb, std::size_t i) {
  if (!isUsb) {
    DeviceRoot_setCurrent(options.root, static_cast<int>(i), kPulledCurrent);
    std::lock_guard guard(serial[i].lock);
    serial[i].plugged = false;
    serial[i].pty->flushTowardsSlave();
    return "OK";
  }
  DeviceRoot_unlink(usbLink(i));
  std::lock_guard guard(usb[i].lock);
  usb[i].pty.reset();
  usb[i].plugged = false;
  return "OK";
}

std::string Simulator::Impl::set(bool isUsb, std::size_t i, const std::string& quantity, float value) {
  if (!isUsb) {
    std::lock_guard guard(serial[i].lock);
    auto& s = serial[i].sensor;
    auto& r = s.readings;
    if (quantity == "fwd") r.forward = value;
    else if (quantity == "rfl") r.reflected = value;
    else if (quantity == "freq") r.frequency = value;
    else if (quantity == "temp") r.temperature = value;
    else if (quantity == "maxpower") s.maxPower = value;
    else if (quantity == "minpower") s.minPower = value;
    else return "ERR unknown quantity for a serial sensor: " + quantity;
    return "OK";
  }
  std::lock_guard guard(usb[i].lock);
  auto& r = usb[i].sensor.readings;
  if (quantity == "fwd") r.forward = value;
  else if (quantity == "rfl") r.reflected = value;
  else if (quantity == "freq") r.frequency = value;
  else if (quantity == "temp") r.temperature = value;
  else if (quantity == "prd") r.period = value;
  else if (quantity == "prf") r.prf = value;
  else if (quantity == "width") r.width = value;
  else if (quantity == "dcyc") r.dutyCycle = value;
  else if (quantity == "gatemean") r.gateMean = value;
  else if (quantity == "gatemax") r.gateMax = value;
  else if (quantity == "gatemin") r.gateMin = value;
  else if (quantity == "questionable") {
    // A 16-bit register: a value it cannot hold is a mistake, not a wrap-round.
    if (!(value >= 0.0F && value <= 65535.0F) || value != std::floor(value)) {
      return "ERR questionable takes a whole number from 0 to 65535";
    }
    r.questionable = static_cast<int>(value);
  }
  else {
    static constexpr std::array<const char*, 3> kStatistics{"mean", "max", "min"};
    for (std::size_t s = 1; s <= 4; ++s) {
      for (std::size_t k = 0; k < kStatistics.size(); ++k) {
        if (quantity == "state" + std::to_string(s) + "." + kStatistics[k]) {
          r.states[s - 1][k] = value;
          return "OK";
        }
      }
    }
    return "ERR unknown quantity for a USB sensor: " + quantity;
  }
  return "OK";
}

std::string Simulator::Impl::fault(bool isUsb, std::size_t i, const std::string& name) {
  if (!isUsb) {
    SerialFault f{};
    if (name == "none") f = SerialFault::none;
    else if (name == "short") f = SerialFault::shortReply;
    else if (name == "silent") f = SerialFault::silent;
    else if (name == "babble") f = SerialFault::babble;
    else return "ERR unknown serial fault: " + name;
    std::lock_guard guard(serial[i].lock);
    serial[i].sensor.fault = f;
    return "OK";
  }
  UsbFault f{};
  if (name == "none") f = UsbFault::none;
  else if (name == "short") f = UsbFault::shortReply;
  else if (name == "silent") f = UsbFault::silent;
  else if (name == "opc-never") f = UsbFault::opcNever;
  else return "ERR unknown USB fault: " + name;
  std::lock_guard guard(usb[i].lock);
  usb[i].sensor.fault = f;
  return "OK";
}

std::string Simulator::Impl::usbOnly(const std::vector<std::string>& w, std::size_t i, std::string_view line) {
  std::lock_guard guard(usb[i].lock);
  auto& sensor = usb[i].sensor;
  if (w[0] == "error") {
    if (w.size() < 3) return "ERR usage: error SENSOR CODE [TEXT]";
    const auto code = integer(w[2]);
    if (!code || *code >= 0 || *code < -32768) return "ERR the error code must be a whole number from -32768 to -1";
    const std::size_t text = line.find(w[2]) + w[2].size();
    std::string_view rest = line.substr(text);
    while (!rest.empty() && rest.front() == ' ') rest.remove_prefix(1);
    sensor.pushError(static_cast<int>(*code), rest.empty() ? "Simulated error" : rest);
    return "OK";
  }
  if (w[0] == "received") {
    if (w.size() == 3 && w[2] == "reset") {
      sensor.resetCommands();
      return "OK";
    }
    if (w.size() != 2) return "ERR usage: received SENSOR [reset]";
    std::string out = "OK " + std::to_string(sensor.commandTotalSinceReset());
    for (const auto& c : sensor.commandsSinceReset()) out += " " + c.header + "=" + std::to_string(c.count);
    return out;
  }
  if (w[0] == "count") {
    if (w.size() != 3) return "ERR usage: count SENSOR HEADER";
    return "OK " + std::to_string(sensor.received(w[2]));
  }
  // scpi SENSOR MESSAGE
  const std::size_t at = line.find(w[1]) + w[1].size();
  const auto reply = sensor.handle(line.substr(at));
  if (!reply) return "OK";
  std::string text = *reply;
  while (!text.empty() && text.back() == '\n') text.pop_back();
  return "OK " + text;
}

// The charger and the fuel gauge: their attribute files, set as the drivers
// would show them, and read back after the meter wrote them.
std::string Simulator::Impl::battery(const std::vector<std::string>& w) {
  if (w.size() < 3) return "ERR usage: battery QUANTITY VALUE | battery read|remove FILE | battery write FILE TEXT";
  const std::string& what = w[1];
  if (what == "read" || what == "remove" || what == "write") {
    const std::string path = DeviceRoot_batteryFile(options.root, w[2]);
    if (path.empty()) return "ERR unknown battery file: " + w[2];
    if (what == "read") {
      if (w.size() != 3) return "ERR usage: battery read FILE";
      const auto value = DeviceRoot_readAttribute(path);
      return value ? "OK " + *value : "ERR " + w[2] + " is missing";
    }
    if (what == "remove") {
      if (w.size() != 3) return "ERR usage: battery remove FILE";
      DeviceRoot_unlink(path);
      return "OK";
    }
    if (w.size() != 4) return "ERR usage: battery write FILE TEXT";
    DeviceRoot_writeFile(path, w[3] + "\n");
    return "OK";
  }
  if (w.size() != 3) return "ERR usage: battery QUANTITY VALUE";
  const std::string& text = w[2];
  if (what == "state") {
    std::size_t used = 0;
    unsigned long bits = 0;
    try {
      bits = std::stoul(text, &used, 0);
    } catch (const std::exception&) {
      used = 0;
    }
    if (used != text.size() || bits > 0xFFFF) return "ERR the charger state is a 16-bit number: " + text;
    DeviceRoot_writeFile(DeviceRoot_batteryFile(options.root, "chargerState_raw"), std::to_string(bits) + "\n");
    return "OK";
  }
  struct Quantity {
    const char* name;
    const char* file;
    double scale;
  };
  static constexpr std::array<Quantity, 4> kQuantities{{{"voltage", "voltage_now", 1e6},
                                                        {"current", "current_now", 1e6},
                                                        {"charge", "charge_now", 1.0},
                                                        {"temp", "temp", 100.0}}};
  for (const auto& q : kQuantities) {
    if (what != q.name) continue;
    std::size_t used = 0;
    double value = 0.0;
    try {
      value = std::stod(text, &used);
    } catch (const std::exception&) {
      used = 0;
    }
    if (used != text.size() || !std::isfinite(value)) return "ERR not a number: " + text;
    const long long raw = std::llround(value * q.scale);
    DeviceRoot_writeFile(DeviceRoot_batteryFile(options.root, q.file), std::to_string(raw) + "\n");
    return "OK";
  }
  return "ERR unknown battery quantity: " + what;
}

std::string Simulator::Impl::status() {
  std::string out = "OK";
  for (std::size_t i = 0; i < 2; ++i) {
    std::lock_guard guard(serial[i].lock);
    out += " serial" + std::to_string(i + 1) + "=" + serial[i].sensor.model() + (serial[i].plugged ? ":plugged" : ":pulled");
  }
  for (std::size_t i = 0; i < 2; ++i) {
    std::lock_guard guard(usb[i].lock);
    out += " usb" + std::to_string(i + 1) + "=" + usb[i].sensor.model() + (usb[i].plugged ? ":plugged" : ":pulled");
  }
  return out;
}

Simulator::Simulator(const SimOptions& options) : impl_(std::make_unique<Impl>()) {
  Impl& s = *impl_;
  s.options = options;
  DeviceRoot_build(options.root);
  for (std::size_t i = 0; i < 2; ++i) {
    s.serial[i].pty = std::make_unique<Pty>();
    DeviceRoot_link(s.serial[i].pty->slavePath(), s.serialLink(i));
    DeviceRoot_setCurrent(options.root, static_cast<int>(i), kPulledCurrent);
    DeviceRoot_unlink(s.usbLink(i));
  }
  s.remoteMeter = std::make_unique<Pty>();
  s.remoteComputer = std::make_unique<Pty>();
  DeviceRoot_link(s.remoteMeter->slavePath(), options.root + "/dev/ttyS4");
  DeviceRoot_link(s.remoteComputer->slavePath(), options.root + "/sim/rs232");
  for (auto& port : s.serial) {
    s.threads.emplace_back([&port, paced = options.paced](std::stop_token st) { runSerial(st, port, paced); });
  }
  for (auto& port : s.usb) {
    s.threads.emplace_back([&port](std::stop_token st) { runUsb(st, port); });
  }
  s.threads.emplace_back([&s](std::stop_token st) { runRelay(st, *s.remoteMeter, *s.remoteComputer); });
}

Simulator::~Simulator() {
  Impl& s = *impl_;
  for (auto& t : s.threads) t.request_stop();
  s.threads.clear();  // joins
  for (std::size_t i = 0; i < 2; ++i) {
    DeviceRoot_unlink(s.usbLink(i));
    DeviceRoot_unlink(s.serialLink(i));
  }
  DeviceRoot_unlink(s.options.root + "/dev/ttyS4");
  DeviceRoot_unlink(s.options.root + "/sim/rs232");
}

bool Simulator::quitRequested() const { return impl_->quit.load(); }
const std::string& Simulator::root() const { return impl_->options.root; }

std::string Simulator::control(std::string_view line) {
  Impl& s = *impl_;
  const std::vector<std::string> w = words(line);
  if (w.empty()) return "ERR empty command";
  const std::string& verb = w[0];
  if (verb == "help") return "OK see the README; commands: plug pull set fault error count received scpi status battery help quit";
  if (verb == "status") return s.status();
  if (verb == "quit") {
    s.quit = true;
    return "OK";
  }
  if (verb == "battery") {
    try {
      return s.battery(w);
    } catch (const std::exception& e) {
      return std::string("ERR ") + e.what();
    }
  }
  if (w.size() < 2) return "ERR missing sensor (serial1 serial2 usb1 usb2)";
  const std::string& sensor = w[1];
  bool isUsb = false;
  std::size_t index = 0;
  if (sensor == "serial1" || sensor == "serial2") {
    index = sensor == "serial1" ? 0 : 1;
  } else if (sensor == "usb1" || sensor == "usb2") {
    isUsb = true;
    index = sensor == "usb1" ? 0 : 1;
  } else {
    return "ERR unknown sensor: " + sensor;
  }
  try {
    if (verb == "plug") return w.size() <= (isUsb ? 4 : 3) ? s.plug(isUsb, index, w) : "ERR usage: plug SENSOR [MODEL]";
    if (verb == "pull") return w.size() == 2 ? s.pull(isUsb, index) : "ERR usage: pull SENSOR";
    if (verb == "fault") return w.size() == 3 ? s.fault(isUsb, index, w[2]) : "ERR usage: fault SENSOR FAULT";
    if (verb == "set") {
      if (w.size() != 4) return "ERR usage: set SENSOR QUANTITY VALUE";
      const auto value = number(w[3]);
      if (!value) return "ERR not a number: " + w[3];
      return s.set(isUsb, index, w[2], *value);
    }
    if (verb == "error" || verb == "count" || verb == "scpi" || verb == "received") {
      if (!isUsb) return "ERR " + verb + " applies to USB sensors only";
      if (verb == "scpi" && w.size() < 3) return "ERR usage: scpi SENSOR MESSAGE";
      return s.usbOnly(w, index, line);
    }
  } catch (const std::exception& e) {
    return std::string("ERR ") + e.what();
  }
  return "ERR unknown command: " + verb;
}
