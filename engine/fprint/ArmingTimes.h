#pragma once

#include <chrono>

// How the reader is armed while a page is connected. libfprint counts every second a capture
// is armed as the reader's active time and refuses to arm a reader it counts as too hot, for
// minutes (about 3.5 on libfprint 1.94's default model, after 3 minutes armed). Armed in
// spells with rests between, a reader stays cool however long a page stays open: 20 s armed in
// every 60 s never grew hot in half an hour, where 30 s in every 60 s did within 12 minutes.
// A command starts a spell at once, and so does every press read: the reader rests only when
// nobody has used it for a spell (a stream of presses long enough to heat it is met by
// libfprint's refusal and the cool-down below). A reader libfprint keeps cold while armed (a
// driver without a heat limit) stays armed.
struct TArmingTimes {
  std::chrono::seconds Spell{20};     // armed this long without a press, then resting
  std::chrono::seconds Rest{40};      // before it is armed again
  std::chrono::seconds CoolDown{60};  // after libfprint refused it as too hot, before a new try
};
