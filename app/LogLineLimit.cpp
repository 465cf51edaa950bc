#include "LogLineLimit.h"

#include <QByteArray>
#include <QStringView>

namespace {

bool IsSurrogatePair(char16_t AHigh, char16_t ALow) {
  return AHigh >= 0xD800 && AHigh <= 0xDBFF && ALow >= 0xDC00 && ALow <= 0xDFFF;
}

std::string Utf8(std::u16string_view AText) {
  const QByteArray bytes = QStringView(AText.data(), qsizetype(AText.size())).toUtf8();
  return std::string(bytes.constData(), size_t(bytes.size()));
}

}  // namespace

std::string ShownLogLine(std::u16string_view ALine) {
  if (ALine.size() <= kLogLineShownUnits) return Utf8(ALine);
  size_t kept = kLogLineShownUnits;
  if (IsSurrogatePair(ALine[kept - 1], ALine[kept])) --kept;
  const size_t bytes = Utf8(ALine).size();
  return Utf8(ALine.substr(0, kept)) + "... (" + std::to_string(bytes) + " bytes)";
}
