// The port's settings objects and the text forms of the setting enumerations.
#include <cctype>
#include <string>

#include "serial/CPort.h"

// ---- TComTimeouts ---------------------------------------------------------------------------

void TComTimeouts::Changed() {
  if (ComPort_) ComPort_->ApplyTimeouts();
}

#define KVX_SETTER(Class, Name, Type)      \
  void Class::Set##Name(Type Value) {      \
    if (Name##_ == Value) return;          \
    Name##_ = Value;                       \
    Changed();                             \
  }

KVX_SETTER(TComTimeouts, ReadInterval, int)
KVX_SETTER(TComTimeouts, ReadTotalMultiplier, int)
KVX_SETTER(TComTimeouts, ReadTotalConstant, int)
KVX_SETTER(TComTimeouts, WriteTotalMultiplier, int)
KVX_SETTER(TComTimeouts, WriteTotalConstant, int)

void TComTimeouts::Assign(const TComTimeouts& Source) {
  if (&Source == this) return;
  ReadInterval_ = Source.ReadInterval_;
  ReadTotalMultiplier_ = Source.ReadTotalMultiplier_;
  ReadTotalConstant_ = Source.ReadTotalConstant_;
  WriteTotalMultiplier_ = Source.WriteTotalMultiplier_;
  WriteTotalConstant_ = Source.WriteTotalConstant_;
}

// ---- TComFlowControl ------------------------------------------------------------------------

void TComFlowControl::Changed() {
  if (ComPort_) ComPort_->ApplyCommState();
}

KVX_SETTER(TComFlowControl, OutCTSFlow, bool)
KVX_SETTER(TComFlowControl, OutDSRFlow, bool)
KVX_SETTER(TComFlowControl, ControlDTR, TDTRFlowControl)
KVX_SETTER(TComFlowControl, ControlRTS, TRTSFlowControl)
KVX_SETTER(TComFlowControl, XonXoffOut, bool)
KVX_SETTER(TComFlowControl, XonXoffIn, bool)
KVX_SETTER(TComFlowControl, DSRSensitivity, bool)
KVX_SETTER(TComFlowControl, TxContinueOnXoff, bool)
KVX_SETTER(TComFlowControl, XonChar, char)
KVX_SETTER(TComFlowControl, XoffChar, char)

TFlowControl TComFlowControl::FlowControl() const {
  if (ControlRTS_ == rtsHandshake && OutCTSFlow_ && !XonXoffIn_ && !XonXoffOut_) return fcHardware;
  if (ControlRTS_ == rtsDisable && !OutCTSFlow_ && XonXoffIn_ && XonXoffOut_) return fcSoftware;
  if (ControlRTS_ == rtsDisable && !OutCTSFlow_ && !XonXoffIn_ && !XonXoffOut_) return fcNone;
  return fcCustom;
}

void TComFlowControl::SetFlowControl(TFlowControl Value) {
  if (Value != fcCustom) {
    ControlRTS_ = rtsDisable;
    OutCTSFlow_ = false;
    XonXoffIn_ = false;
    XonXoffOut_ = false;
    if (Value == fcHardware) {
      ControlRTS_ = rtsHandshake;
      OutCTSFlow_ = true;
    } else if (Value == fcSoftware) {
      XonXoffIn_ = true;
      XonXoffOut_ = true;
    }
  }
  // Re-applied once in every case, the same value and fcCustom included.
  Changed();
}

void TComFlowControl::Assign(const TComFlowControl& Source) {
  if (&Source == this) return;
  OutCTSFlow_ = Source.OutCTSFlow_;
  OutDSRFlow_ = Source.OutDSRFlow_;
  ControlDTR_ = Source.ControlDTR_;
  ControlRTS_ = Source.ControlRTS_;
  XonXoffOut_ = Source.XonXoffOut_;
  XonXoffIn_ = Source.XonXoffIn_;
  DSRSensitivity_ = Source.DSRSensitivity_;
  TxContinueOnXoff_ = Source.TxContinueOnXoff_;
  XonChar_ = Source.XonChar_;
  XoffChar_ = Source.XoffChar_;
}

// ---- TComParity -----------------------------------------------------------------------------

void TComParity::Changed() {
  if (ComPort_) ComPort_->ApplyCommState();
}

KVX_SETTER(TComParity, Bits, TParityBits)
KVX_SETTER(TComParity, Check, bool)
KVX_SETTER(TComParity, Replace, bool)
KVX_SETTER(TComParity, ReplaceChar, char)

void TComParity::Assign(const TComParity& Source) {
  if (&Source == this) return;
  Bits_ = Source.Bits_;
  Check_ = Source.Check_;
  Replace_ = Source.Replace_;
  ReplaceChar_ = Source.ReplaceChar_;
}

// ---- TComBuffer -----------------------------------------------------------------------------

void TComBuffer::Changed() {
  if (ComPort_) ComPort_->ApplyBuffer();
}

namespace {
// Queue sizes are kept even: a positive odd size loses its last byte.
int EvenSize(int v) { return (v > 0 && v % 2 == 1) ? v - 1 : v; }
}  // namespace

void TComBuffer::SetInputSize(int Value) {
  if (InputSize_ == Value) return;
  InputSize_ = EvenSize(Value);
  Changed();
}

void TComBuffer::SetOutputSize(int Value) {
  if (OutputSize_ == Value) return;
  OutputSize_ = EvenSize(Value);
  Changed();
}

void TComBuffer::Assign(const TComBuffer& Source) {
  if (&Source == this) return;
  InputSize_ = Source.InputSize_;
  OutputSize_ = Source.OutputSize_;
}

#undef KVX_SETTER

// ---- Text conversions -----------------------------------------------------------------------

namespace {

const char* const kBaudRateTexts[] = {"Custom", "110",   "300",   "600",    "1200",  "2400",
                                      "4800",   "9600",  "14400", "19200",  "38400", "56000",
                                      "57600",  "115200", "128000", "256000"};
const char* const kStopBitsTexts[] = {"1", "1.5", "2"};
const char* const kDataBitsTexts[] = {"5", "6", "7", "8"};
const char* const kParityTexts[] = {"None", "Odd", "Even", "Mark", "Space"};
const char* const kFlowControlTexts[] = {"Hardware", "Software", "None", "Custom"};
const char* const kRTSTexts[] = {"Disable", "Enable", "Handshake", "Toggle"};
const char* const kDTRTexts[] = {"Disable", "Enable", "Handshake"};

std::string Upper(const std::string& s) {
  std::string r = s;
  for (char& c : r) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return r;
}

template <typename E, std::size_t N>
std::string ToText(const char* const (&table)[N], E value) {
  const auto i = static_cast<std::size_t>(value);
  return i < N ? table[i] : std::string();
}

// The first entry whose upper-case form equals the upper-case text, else the fallback.
template <typename E, std::size_t N>
E FromText(const char* const (&table)[N], const std::string& text, E fallback) {
  const std::string u = Upper(text);
  for (std::size_t i = 0; i < N; ++i)
    if (Upper(table[i]) == u) return static_cast<E>(i);
  return fallback;
}

}  // namespace

std::string BaudRateToStr(TBaudRate BaudRate) { return ToText(kBaudRateTexts, BaudRate); }
TBaudRate StrToBaudRate(const std::string& Str) { return FromText(kBaudRateTexts, Str, br9600); }
std::string StopBitsToStr(TStopBits StopBits) { return ToText(kStopBitsTexts, StopBits); }
TStopBits StrToStopBits(const std::string& Str) {
  return FromText(kStopBitsTexts, Str, sbOneStopBit);
}
std::string DataBitsToStr(TDataBits DataBits) { return ToText(kDataBitsTexts, DataBits); }
TDataBits StrToDataBits(const std::string& Str) { return FromText(kDataBitsTexts, Str, dbEight); }
std::string ParityToStr(TParityBits Parity) { return ToText(kParityTexts, Parity); }
TParityBits StrToParity(const std::string& Str) { return FromText(kParityTexts, Str, prNone); }
std::string FlowControlToStr(TFlowControl FlowControl) {
  return ToText(kFlowControlTexts, FlowControl);
}
TFlowControl StrToFlowControl(const std::string& Str) {
  return FromText(kFlowControlTexts, Str, fcCustom);
}
std::string RTSToStr(TRTSFlowControl RTS) { return ToText(kRTSTexts, RTS); }
TRTSFlowControl StrToRTS(const std::string& Str) { return FromText(kRTSTexts, Str, rtsDisable); }
std::string DTRToStr(TDTRFlowControl DTR) { return ToText(kDTRTexts, DTR); }
TDTRFlowControl StrToDTR(const std::string& Str) { return FromText(kDTRTexts, Str, dtrDisable); }

std::string BoolToYesNo(bool B) { return B ? "Yes" : "No"; }
bool YesNoToBool(const std::string& Str) { return Upper(Str) == "YES"; }

std::string CharToStr(char Ch) {
  const int code = static_cast<unsigned char>(Ch);
  if (code >= 33 && code <= 127) return std::string(1, Ch);
  return "#" + std::to_string(code);
}

char StrToChar(const std::string& Str) {
  if (Str.empty()) return 0;
  if (Str.size() >= 2 && Str[0] == '#') {
    // A decimal number after the "#"; its low 8 bits are the code. Anything else is NUL.
    const std::string digits = Str.substr(1);
    std::size_t i = 0;
    bool negative = false;
    if (i < digits.size() && (digits[i] == '+' || digits[i] == '-')) {
      negative = digits[i] == '-';
      ++i;
    }
    if (i >= digits.size()) return 0;
    unsigned long long v = 0;
    for (; i < digits.size(); ++i) {
      const char c = digits[i];
      if (c < '0' || c > '9') return 0;
      v = (v * 10 + static_cast<unsigned>(c - '0')) & 0xFFFFFFFFull;
    }
    if (negative) v = (0x100000000ull - v) & 0xFFFFFFFFull;
    return static_cast<char>(v & 0xFF);
  }
  return Str[0];
}

int BaudRateValue(TBaudRate Rate) {
  static const int kValues[] = {0,     110,   300,   600,   1200,   2400,   4800,   9600,
                                14400, 19200, 38400, 56000, 57600, 115200, 128000, 256000};
  const auto i = static_cast<std::size_t>(Rate);
  return i < sizeof(kValues) / sizeof(kValues[0]) ? kValues[i] : 0;
}
