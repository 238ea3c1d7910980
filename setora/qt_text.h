// ANSI texts of the platform calls as Qt strings, and back.
#pragma once

#include <QString>
#include <string>

#include "platform/nls/codepage.h"

inline QString qt_from_ansi(const std::string& text) {
  return QString::fromStdU16String(nt_ansi_to_wide(text));
}

inline std::string ansi_from_qt(const QString& text) {
  return nt_wide_to_ansi(text.toStdU16String());
}
