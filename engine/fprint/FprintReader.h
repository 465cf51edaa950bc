#pragma once

#include <fprint.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ArmingTimes.h"
#include "GLibPtr.h"
#include "ReaderScan.h"

// libfprint's context and the one reader in use. Lives on a GLib loop thread (its context the
// thread's default) and is used only there. While open and watched (a page connected), the
// reader is armed for one press at a time and re-armed after each, in spells with rests between
// (TArmingTimes), until closed or unplugged; unwatched, it is not armed at all. When libfprint
// refuses it as too hot, that is reported, and again each time a try after the cool-down finds
// it still hot, and once it is armed again.
class TFprintReader : public std::enable_shared_from_this<TFprintReader> {
 public:
  enum class TOpenOutcome { Opened, NoReader, Failed };
  struct TOpenResult {
    TOpenOutcome Outcome = TOpenOutcome::NoReader;
    std::string Name;   // the reader opened: driver and device id
    std::string Error;  // why it failed, for a log
  };
  struct TSinks {
    std::function<void(TReaderScan)> Scan;
    // The number of readers that can capture images, after each change.
    std::function<void(int)> ReaderCount;
  };

  // Creates the context and enumerates the readers (a nested loop on the thread's context).
  static std::shared_ptr<TFprintReader> Create(TSinks ASinks, TArmingTimes ATimes);
  ~TFprintReader();
  TFprintReader(const TFprintReader&) = delete;
  TFprintReader& operator=(const TFprintReader&) = delete;

  // Opens the first reader that captures images and arms it; at once when already open.
  void Open(std::function<void(TOpenResult)> ADone);
  // Ends the capture in progress, waits for it, then closes the reader. Requests made before
  // earlier ones finished (a caller that stopped waiting) leave the reader as the last asked:
  // opens superseded by a close are answered as failed.
  void Close(std::function<void()> ADone);
  // Whether a page is connected that could see a press; until told, the reader counts as
  // watched.
  void SetWatched(bool AWatched);
  // Someone asks for presses (a command): a rest ends and a spell starts over.
  void Attention();

 private:
  enum class TState { Closed, Opening, Open, Closing };

  TFprintReader(TSinks ASinks, TArmingTimes ATimes);
  void Enumerate();
  // Readers that capture images, leaving out AGone.
  int CountReaders(FpDevice* AGone);
  void StartOpen();
  void Opened(FpDevice* ADevice, GAsyncResult* AResult);
  void StartClose();
  void Closed(FpDevice* ADevice, GAsyncResult* AResult);
  // Arms the reader for a new spell, unless it is not open or nobody watches.
  void Arm();
  bool StartCapture();
  void ArmLater(std::chrono::seconds ADelay);
  void TooHot(const std::string& AWhy);
  void Identified(FpDevice* ADevice, GAsyncResult* AResult);
  void Report(TReaderScan AScan);
  static void DeviceAdded(FpContext* AContext, FpDevice* ADevice, gpointer ASelf);
  static void DeviceRemoved(FpContext* AContext, FpDevice* ADevice, gpointer ASelf);
  static gboolean SpellEnded(gpointer ASelf);
  static gboolean ArmAgain(gpointer ASelf);
  static gboolean CoolDownEnded(gpointer ASelf);
  template <void (TFprintReader::*Method)(FpDevice*, GAsyncResult*)>
  static void Completed(GObject* ASource, GAsyncResult* AResult, gpointer AToken);
  gpointer Token();

  TSinks FSinks;
  const TArmingTimes FTimes;
  TGObjectPtr<FpContext> FContext;
  TState FState = TState::Closed;
  bool FWantOpen = false;  // what the last Open or Close asked for
  TGObjectPtr<FpDevice> FDevice;
  std::string FName;
  TGObjectPtr<GCancellable> FCapture;  // set while a capture is armed
  TGPtrArrayPtr FGallery;              // empty: identification just returns the scan
  TGSourcePtr FTimer;                  // spell's end, or the re-arm after a rest or an error
  bool FWatched = true;
  bool FSpellOver = false;  // the capture being cancelled ends a spell: a rest follows
  bool FCooling = false;    // refused as too hot: waiting out the cool-down
  std::vector<std::function<void(TOpenResult)>> FOpenWaiters;
  std::vector<std::function<void()>> FCloseWaiters;
};
