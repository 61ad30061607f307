// Win32 error codes to text, and the operator's sentences for a port that
// could not be opened or configured.
#include "serial/win32/error_text.h"

#include <string_view>

#include "serial/win32/wide_text.h"

namespace quorvane {
namespace {

// Not every SDK's headers name it.
constexpr DWORD kErrorNoSuchDevice = 433;

}  // namespace

std::string SystemErrorText(DWORD error) {
  // The wide call: the narrow one answers in the ANSI code page (1252 on a
  // French system, 936 on a Chinese one), which every caller would take for
  // UTF-8. The text is converted once, here.
  wchar_t* buffer = nullptr;
  // 0x400: the neutral language with the default sub-language.
  const DWORD length = ::FormatMessageW(
      FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, error, 0x400, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  std::wstring_view wide =
      length != 0 && buffer != nullptr ? std::wstring_view(buffer, length) : std::wstring_view();
  // The same layout as on Linux, where the text has no line end of its own.
  while (!wide.empty() && (wide.back() == L'\r' || wide.back() == L'\n' || wide.back() == L' '))
    wide.remove_suffix(1);
  std::string text = Narrow(wide);
  if (buffer != nullptr) ::LocalFree(buffer);
  return text;
}

// Observed under Wine on a pseudo-terminal whose far end hung up: a pending
// read ends with ERROR_BROKEN_PIPE, every later call fails with
// ERROR_NOT_READY. Windows drivers of unplugged USB adapters answer with the
// others; ERROR_OPERATION_ABORTED is how they end the I/O that was under way.
bool IsDeviceGoneError(DWORD error) {
  switch (error) {
    case ERROR_ACCESS_DENIED:
    case ERROR_INVALID_HANDLE:
    case ERROR_NOT_READY:
    case ERROR_BAD_COMMAND:
    case ERROR_GEN_FAILURE:
    case ERROR_BROKEN_PIPE:
    case kErrorNoSuchDevice:
    case ERROR_OPERATION_ABORTED:
    case ERROR_DEVICE_NOT_CONNECTED:
    case ERROR_DEVICE_REMOVED:
      return true;
    default:
      return false;
  }
}

namespace {

std::string Sentence(std::string text) {
  if (text.empty()) return text;
  if (text.back() != '.') text += '.';
  return text;
}

}  // namespace

std::string DescribeOpenFailure(unsigned portNumber, DWORD error) {
  const std::string port = "COM" + std::to_string(portNumber);
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_BAD_UNIT:
    case kErrorNoSuchDevice:
    case ERROR_DEVICE_NOT_CONNECTED:
      return port + " is not present: no serial device has that number.";
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_BUSY:
      return port + " is in use by another program. Close it there, then open the port again.";
    default: {
      const std::string text = SystemErrorText(error);
      if (text.empty()) return "Could not open " + port + ": error " + std::to_string(error) + ".";
      return "Could not open " + port + ": " + Sentence(text);
    }
  }
}

OpenFailure ClassifyOpenFailure(DWORD error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_BAD_UNIT:
    case kErrorNoSuchDevice:
    case ERROR_DEVICE_NOT_CONNECTED:
      return OpenFailure::kNoDevice;
    // A COM port is opened exclusively: Windows refuses a second opener
    // with "access denied", so that means busy, as DescribeOpenFailure says.
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_BUSY:
      return OpenFailure::kBusy;
    default:
      return OpenFailure::kOther;
  }
}

std::string DescribeConfigurationFailure(unsigned portNumber, const std::string& operation,
                                         DWORD error) {
  std::string text = SystemErrorText(error);
  if (text.empty()) text = "error " + std::to_string(error);
  return "COM" + std::to_string(portNumber) + " could not be configured: " + operation +
         " failed: " + Sentence(text);
}

}  // namespace quorvane
