// Byte-level access to the meter's tty devices: the serial sensor ports and
// the RS-232 command port.
//
// Paths are opened exactly as given: callers map device names with
// Platform_path("/dev/ttyS1") first. Every primitive reports a failure through
// the diagnostic log with the system error number and returns the system
// call's result; none of them closes a descriptor on its own.
#pragma once

#include <termios.h>

#include <cstddef>

// Opens read-write without becoming the controlling terminal, so a device that
// goes away never sends the meter a hang-up signal. Returns the descriptor or
// a negative value.
int serial_open(const char* path);
// Open and apply the sensor line settings (tty_set_attributes).
int serial_open_forsensor(const char* path);
int serial_open_forctrl(const char* path);

// Result of serial_getc when nothing arrived before the line's time-out.
constexpr int SERIAL_TIMEOUT = -2;

// One byte as 0..255, SERIAL_TIMEOUT, or -1 on a read error.
int serial_getc(int fd);
// One read of up to length bytes: the count, 0 on time-out, negative on error.
// The buffer is not terminated.
int serial_gets(int fd, char* buffer, std::size_t length);
// Writes the NUL-terminated text without its terminator, all of it unless the
// write fails. Returns the number of bytes written or a negative value.
int serial_puts(int fd, const char* text);
int serial_close(int fd);

// Sensor line settings: 9600 baud 8N1, no flow control, no echo or line
// processing; a read returns at the first byte or after 1.0 s with nothing.
// Pending data is flushed when they are applied.
int tty_set_attributes(int fd);
// Raw mode; reads block until at least one byte. The speed is kept.
int tty_set_raw(int fd);
// Writes the current termios flags to the diagnostic log.
void tty_log_diag(int fd);

// The RS-232 command port: one port per process, used by the serial command
// threads and the serial settings. Open and close it while no other thread
// uses it.

// Opens the port in raw mode (closing a port opened before). The user's line
// settings (speed, data bits, stop bits, parity) are kept across the reopen:
// those of the port open before, else those the device node has. Returns the
// descriptor or a negative value.
int SerialPort_Open(const char* path);
int SerialPort_getc();
int SerialPort_gets(char* buffer, std::size_t length);
int SerialPort_puts(const char* text);
// Discards pending input and output.
int SerialPort_flush();
// Discards pending input only; output still being sent is kept.
int SerialPort_flushInput();
// Address of the port's descriptor (negative while the port is closed).
int* SerialPort_getfd();
bool SerialPort_isOpen();
// Reads the line settings; 0 on success, negative when the port is closed or
// the call failed.
int SerialPort_GetConfig(struct termios* config);
// Applies the line settings after flushing pending data.
int SerialPort_SetConfig(const struct termios* config);
int SerialPort_Close();
