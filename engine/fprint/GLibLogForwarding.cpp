#include "GLibLogForwarding.h"

#include <map>
#include <mutex>

namespace {

using TSinks = std::map<const TGLibLogForwarding*, std::function<void(const std::string&)>>;

std::mutex GSinkLock;

// Under GSinkLock, by the forwarding that added each. Never destroyed: GLib's threads may still
// log while the process exits.
TSinks& Sinks() {
  static auto* sinks = new TSinks();
  return *sinks;
}

std::string_view LevelName(GLogLevelFlags ALevel) {
  if (ALevel & G_LOG_LEVEL_ERROR) return "error";
  if (ALevel & G_LOG_LEVEL_CRITICAL) return "critical";
  if (ALevel & G_LOG_LEVEL_WARNING) return "warning";
  if (ALevel & G_LOG_LEVEL_MESSAGE) return "message";
  if (ALevel & G_LOG_LEVEL_INFO) return "info";
  return "debug";
}

std::string_view FieldText(const GLogField& AField) {
  const auto* text = static_cast<const char*>(AField.value);
  if (text == nullptr) return {};
  return AField.length < 0 ? std::string_view(text)
                           : std::string_view(text, static_cast<size_t>(AField.length));
}

GLogWriterOutput Write(GLogLevelFlags ALevel, const GLogField* AFields, gsize ACount,
                       gpointer AData) {
  constexpr int kForwarded = G_LOG_LEVEL_CRITICAL | G_LOG_LEVEL_WARNING | G_LOG_LEVEL_MESSAGE;
  if (ALevel & kForwarded) {
    std::lock_guard lock(GSinkLock);
    if (!Sinks().empty()) {
      std::string_view domain, text;
      for (gsize i = 0; i < ACount; ++i) {
        const std::string_view key = AFields[i].key;
        if (key == "GLIB_DOMAIN") domain = FieldText(AFields[i]);
        if (key == "MESSAGE") text = FieldText(AFields[i]);
      }
      const std::string line = GLibLogLine(ALevel, domain, text);
      for (const auto& [forwarding, sink] : Sinks()) sink(line);
      return G_LOG_WRITER_HANDLED;
    }
  }
  return g_log_writer_default(ALevel, AFields, ACount, AData);
}

}  // namespace

std::string GLibLogLine(GLogLevelFlags ALevel, std::string_view ADomain, std::string_view AText) {
  std::string line(ADomain);
  if (!line.empty()) line += ' ';
  line.append(LevelName(ALevel)).append(":");
  bool blank = true;
  for (const char c : AText) {
    if (c == ' ' || c == '\t' || c == '\n' || c == '\r') {
      blank = true;
      continue;
    }
    if (blank) line += ' ';
    blank = false;
    line += c;
  }
  return line;
}

TGLibLogForwarding::TGLibLogForwarding(std::function<void(const std::string&)> ASink) {
  // GLib takes one writer per process, for good.
  static std::once_flag installed;
  std::call_once(installed, [] { g_log_set_writer_func(Write, nullptr, nullptr); });
  std::lock_guard lock(GSinkLock);
  Sinks().emplace(this, std::move(ASink));
}

TGLibLogForwarding::~TGLibLogForwarding() {
  std::lock_guard lock(GSinkLock);
  Sinks().erase(this);
}
