// Byte-level access to the USB sensors through the Linux usbtmc driver.
//
// A USB sensor is an open descriptor of its usbtmc node; a descriptor of 0 or
// less means "not open", and every operation refuses it with -1 before making
// any system call. Each write is one SCPI message and each read returns one
// reply. On a simulated device the node is a pseudo-terminal, which has no
// USB-TMC clear requests: on a descriptor that is a terminal the clears
// succeed without doing anything.
#pragma once

#include <cstddef>
#include <string_view>

// Outcome of one USB request (see handleCmdWithStatus in usbtmc_requests.h).
enum enUSBTMCErrors {
  usbtmc_success = 0,
  usbtmc_transportError = 1,  // the request or its reply failed on the bus
  usbtmc_sensorError222 = 2,  // the sensor reported -222, data out of range
  usbtmc_sensorError = 3,     // the sensor reported another negative error code
};

// Opens the usbtmc node of a device path ("/dev/usbtmc0"; mapped under the
// device root) read-write, without making it the controlling terminal.
// Returns the descriptor (always 1 or more) or -1. `port` only names the
// sensor port in the diagnostics.
int UsbTmcPort_Open(int port, std::string_view devicePath);

// Closes a descriptor above 0; others are ignored.
void UsbTmcPort_Close(int fd);

// Writes the NUL-terminated text as one message. Returns the bytes written,
// or -1 (also for a descriptor of 0 or less).
int UsbTmcPort_Send(int fd, const char* text);

// One read into `buffer` of at most `size` - 1 bytes, NUL-terminated after
// the bytes read (so `size` is the whole buffer, terminator included).
// Returns the count (0: nothing arrived), or -1; a failed read issues the
// driver's clear request so that the next request starts clean.
int UsbTmcPort_Receive(int fd, char* buffer, std::size_t size);

// Clears the bulk-out halt, the bulk-in halt and then the device, stopping at
// the first failure. Returns 0 when all succeeded, else -1.
int handleUsbTmcClear(int fd);
