// The serial link's error texts, their translation, and the application's error hook.
#include <libintl.h>
#include <unistd.h>

#include <cstdio>
#include <mutex>
#include <string>

#include "serial/CPort.h"

namespace {

const char* const kSourceTexts[23] = {
    "Unable to open com port",
    "WriteFile function failed",
    "ReadFile function failed",
    "Invalid Async parameter",
    "PurgeComm function failed",
    "Unable to get async status",
    "SetCommState function failed",
    "SetCommTimeouts failed",
    "SetupComm function failed",
    "ClearCommError function failed",
    "GetCommModemStatus function failed",
    "EscapeCommFunction function failed",
    "TransmitCommChar function failed",
    "Cannot set property while connected",
    "EnumPorts function failed",
    "Failed to store settings",
    "Failed to load settings",
    "Link (un)registration failed",
    "Cannot change led state if ComPort is selected",
    "Cannot wait for event if event thread is created",
    "WaitForEvent method failed",
    "A component is linked to OnRxBuf event",
    "Registry error",
};

const char* const kWinCodeSuffix = " (win error code: %d)";

struct MessageTable {
  std::mutex mutex;
  bool initialised = false;
  std::string texts[23];
};

MessageTable& Table() {
  static MessageTable table;
  return table;
}

// The folder "locale" beside the program.
std::string LocaleFolder() {
  char buf[4096];
  const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof(buf) - 1);
  if (n <= 0) return "locale";
  std::string exe(buf, static_cast<std::size_t>(n));
  const std::size_t slash = exe.rfind('/');
  if (slash == std::string::npos) return "locale";
  return exe.substr(0, slash) + "/locale";
}

void RegisterDomains() {
  static std::once_flag once;
  std::call_once(once, [] {
    const std::string folder = LocaleFolder();
    // Texts are 8-bit Windows-1252 throughout the program.
    for (const char* domain : {"default", "cport"}) {
      ::bindtextdomain(domain, folder.c_str());
      ::bind_textdomain_codeset(domain, "CP1252");
    }
  });
}

// The runtime's translation function: the current domain "default", then the extra domain
// "cport" that was registered for these texts.
std::string Translate(const char* text) {
  const char* r = ::dgettext("default", text);
  if (r == text || r == nullptr) r = ::dgettext("cport", text);
  return r ? std::string(r) : std::string(text);
}

// Puts the number into a translated suffix by plain replacement: catalogue texts are never used
// as formats. A suffix without its "%d" falls back to the English one.
std::string FormatSuffix(int winCode) {
  std::string suffix = Translate(kWinCodeSuffix);
  std::size_t pos = suffix.find("%d");
  if (pos == std::string::npos) {
    suffix = kWinCodeSuffix;
    pos = suffix.find("%d");
  }
  suffix.replace(pos, 2, std::to_string(winCode));
  return suffix;
}

std::mutex& HookMutex() {
  static std::mutex m;
  return m;
}

TApplicationErrorHook& Hook() {
  static TApplicationErrorHook hook;
  return hook;
}

}  // namespace

void InitComErrorMessages() {
  RegisterDomains();
  MessageTable& t = Table();
  std::string texts[23];
  for (int i = 0; i < 23; ++i) texts[i] = Translate(kSourceTexts[i]);
  std::lock_guard<std::mutex> lock(t.mutex);
  for (int i = 0; i < 23; ++i) t.texts[i] = std::move(texts[i]);
  t.initialised = true;
}

const char* ComErrorSourceText(int code) {
  if (code < 1 || code > 23) return "";
  return kSourceTexts[code - 1];
}

std::string ComErrorMessage(int code) {
  if (code < 1 || code > 23) return std::string();
  MessageTable& t = Table();
  std::lock_guard<std::mutex> lock(t.mutex);
  // Before start-up has translated them, the English texts serve.
  if (!t.initialised) return kSourceTexts[code - 1];
  return t.texts[code - 1];
}

EComPort EComPort::CreateWin(int code, int winCode) {
  return EComPort(code, winCode, ComErrorMessage(code) + FormatSuffix(winCode));
}

EComPort EComPort::CreateNo(int code) { return EComPort(code, -1, ComErrorMessage(code)); }

void SetApplicationErrorHook(TApplicationErrorHook hook) {
  std::lock_guard<std::mutex> lock(HookMutex());
  Hook() = std::move(hook);
}

void HandleApplicationException(TObject* Sender, std::exception_ptr Error) {
  if (!Error) return;
  TApplicationErrorHook hook;
  {
    std::lock_guard<std::mutex> lock(HookMutex());
    hook = Hook();
  }
  if (hook) {
    try {
      hook(Sender, Error);
      return;
    } catch (...) {
      // A failing hook must not take the delivering thread down: fall back to stderr.
    }
  }
  try {
    std::rethrow_exception(Error);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "Serial port: %s\n", e.what());
  } catch (...) {
    std::fprintf(stderr, "Serial port: unknown error\n");
  }
}
