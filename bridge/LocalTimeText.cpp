#include "LocalTimeText.h"

#include "Utf8Text.h"

const std::u16string& LocalTimeText(std::time_t ATime) {
  struct TShown {
    bool Valid = false;
    std::time_t Time = 0;
    std::u16string Text;
  };
  thread_local TShown shown;
  if (!shown.Valid || shown.Time != ATime) {
    std::tm local{};
    localtime_r(&ATime, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S: ", &local);
    shown.Text = FromUtf8(text);
    shown.Time = ATime;
    shown.Valid = true;
  }
  return shown.Text;
}
