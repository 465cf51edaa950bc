#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include "IdBuffer.h"
#include "IdException.h"
#include "IdIOHandlerMemory.h"

namespace {

TIdBytes Bytes(std::string_view AText) {
  return TIdBytes(AText.begin(), AText.end());
}

TEST(IdBuffer, ExtractToBytes) {
  struct TCase {
    const char* Name;
    std::string Buffered;
    TIdBytes Target;
    int Count;
    bool Append;
    int Index;
    TIdBytes Expected;
    int SizeAfter;
  };
  const TCase cases[] = {
      {"all of an empty buffer leaves the target untouched", "", {}, -1, true, -1, {}, 0},
      {"empty buffer, non-empty target", "", {7, 8}, -1, false, -1, {7, 8}, 0},
      {"all, appended", "abc", Bytes("x"), -1, true, -1, Bytes("xabc"), 0},
      {"no append overwrites the start and keeps the length", "abcd", TIdBytes(10, 0), -1, false,
       -1, TIdBytes{'a', 'b', 'c', 'd', 0, 0, 0, 0, 0, 0}, 0},
      {"no append grows a short target", "abcd", Bytes("z"), 3, false, -1, Bytes("abc"), 1},
      {"index copies without removing", "abcd", {}, 2, true, 1, Bytes("bc"), 4},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    TIdBuffer buffer;
    buffer.Write(reinterpret_cast<const uint8_t*>(c.Buffered.data()), int(c.Buffered.size()));
    TIdBytes target = c.Target;
    buffer.ExtractToBytes(target, c.Count, c.Append, c.Index);
    EXPECT_EQ(target, c.Expected);
    EXPECT_EQ(buffer.Size(), c.SizeAfter);
  }
}

TEST(IdBuffer, KeepsOrderAcrossCompaction) {
  TIdBuffer buffer;
  TIdBytes all;
  uint8_t next = 0;
  uint8_t expect = 0;
  for (int round = 0; round < 200; ++round) {
    TIdBytes chunk(97);
    for (auto& b : chunk) b = next++;
    buffer.Write(chunk.data(), int(chunk.size()));
    for (int i = 0; i < 60; ++i) ASSERT_EQ(buffer.ExtractByte(), expect++);
  }
  TIdBytes rest;
  buffer.ExtractToBytes(rest);
  for (uint8_t b : rest) ASSERT_EQ(b, expect++);
}

// What a connection keeps once it has read everything: a 1 MiB command must not pin 1 MiB for
// the life of the connection, however it was taken out.
TEST(IdBuffer, GivesALargeArrayBackOnceEmptied) {
  const struct {
    const char* Name;
    int Piece;  // bytes taken per extraction; -1: all at once
  } cases[] = {{"taken whole", -1}, {"taken in pieces", 5000}, {"taken a byte at a time", 1}};
  const TIdBytes command(1 << 20, 'c');
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    TIdBuffer buffer;
    buffer.Write(command.data(), int(command.size()));
    TIdBytes taken;
    while (buffer.Size() > 0) {
      if (c.Piece == 1)
        buffer.ExtractByte();
      else
        buffer.ExtractToBytes(taken, c.Piece, false);
    }
    EXPECT_LT(buffer.Capacity(), size_t(64) << 10);
  }
}

// Consuming must cost the same per byte however much is buffered: over a whole run, housekeeping
// moves at most a small multiple of the bytes that went through (it once moved the whole
// remainder after every 2 KiB taken, which grows with the square of the amount buffered).
TEST(IdBuffer, HousekeepingCostGrowsLinearlyWithTheBytesThatPass) {
  const struct {
    const char* Name;
    int Total;
    int Append;  // bytes per write
    int Take;    // bytes taken after each write, then the rest a byte at a time
  } cases[] = {
      {"all buffered, then taken a byte at a time", 4 << 20, 4 << 20, 0},
      {"reader behind the writer", 4 << 20, 32768, 1024},
      {"reader keeping up in small steps", 1 << 20, 100, 99},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    TIdBuffer buffer;
    const TIdBytes chunk(c.Append, 'g');
    for (int written = 0; written < c.Total; written += c.Append) {
      buffer.Write(chunk.data(), c.Append);
      for (int i = 0; i < c.Take && buffer.Size() > 0; ++i) buffer.ExtractByte();
    }
    while (buffer.Size() > 0) buffer.ExtractByte();
    EXPECT_LE(buffer.BytesMoved(), 2 * uint64_t(c.Total));
  }
}

TEST(IOHandler, ReadByteDeliversBufferedBytesThenReportsTheEnd) {
  TIdIOHandlerMemory io;
  io.Feed("xyz", true);
  EXPECT_EQ(io.ReadByte(), 'x');
  EXPECT_EQ(io.ReadByte(), 'y');
  EXPECT_EQ(io.ReadByte(), 'z');
  EXPECT_THROW(io.ReadByte(), EIdConnClosedGracefully);
  EXPECT_THROW(io.ReadByte(), EIdConnClosedGracefully);
  EXPECT_FALSE(io.Connected());
}

// The Try reads report the end as false, without raising, after the bytes that came before it;
// a transport failure still raises.
TEST(IOHandler, TryReadsTellTheEndWithoutRaising) {
  TIdIOHandlerMemory io;
  io.SetReceiveChunk(2);
  io.Feed("abcdefgh", true);
  uint8_t byte = 0;
  ASSERT_TRUE(io.TryReadByte(byte));
  EXPECT_EQ(byte, 'a');
  TIdBytes bytes;
  ASSERT_TRUE(io.TryReadBytes(bytes, 3));
  EXPECT_EQ(bytes, Bytes("bcd"));
  EXPECT_TRUE(io.TrySkip(2));
  EXPECT_FALSE(io.TryReadBytes(bytes, 3));
  EXPECT_EQ(bytes, Bytes("bcd"));
  EXPECT_EQ(io.InputBuffer().Size(), 2);
  EXPECT_FALSE(io.TrySkip(3));
  EXPECT_FALSE(io.TryReadByte(byte));
  EXPECT_FALSE(io.Connected());

  TIdIOHandlerMemory closed;
  closed.Close();
  EXPECT_FALSE(closed.TryReadByte(byte));

  TIdIOHandlerMemory failing;
  failing.FailAtCall(1, 10054);
  EXPECT_THROW(failing.TryReadByte(byte), EIdSocketError);
}

TEST(IOHandler, ReadBytesShortOfDataLeavesWhatArrived) {
  TIdIOHandlerMemory io;
  io.Feed("abcd", true);
  TIdBytes target(10, 0);
  EXPECT_THROW(io.ReadBytes(target, 10, false), EIdConnClosedGracefully);
  EXPECT_EQ(target, TIdBytes(10, 0));
  EXPECT_EQ(io.InputBuffer().Size(), 4);
}

TEST(IOHandler, ReadBytesSplitAcrossReceives) {
  TIdIOHandlerMemory io;
  io.SetReceiveChunk(1);
  io.Feed("hello world");
  TIdBytes target;
  io.ReadBytes(target, 5, true);
  EXPECT_EQ(target, Bytes("hello"));
}

TEST(IOHandler, ReadWaitsForBytesFedLater) {
  TIdIOHandlerMemory io;
  std::thread feeder([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    io.Feed("!");
  });
  EXPECT_EQ(io.ReadByte(), '!');
  feeder.join();
}

TEST(IOHandler, ConnectedWhileUnreadBytesRemain) {
  TIdIOHandlerMemory io;
  io.Feed("ab", true);
  EXPECT_TRUE(io.Connected());
  EXPECT_TRUE(io.Connected());
  io.ReadByte();
  EXPECT_TRUE(io.Connected());
  io.ReadByte();
  EXPECT_FALSE(io.Connected());
}

// A connection's loop tests Connected on every pass; a reader that consumes slowly (a byte per
// pass while it resynchronises) must not make that test pull the peer's whole output into memory.
TEST(IOHandler, ConnectedReceivesOnlyWhenNothingIsBuffered) {
  TIdIOHandlerMemory io;
  io.Feed(TIdBytes(1 << 20, 0x00));
  int largest = 0;
  for (int pass = 0; pass < 100000 && io.Connected(); ++pass) {
    largest = std::max(largest, io.InputBuffer().Size());
    io.ReadByte();
  }
  EXPECT_LE(largest, io.RecvBufferSize);
}

TEST(IOHandler, ConnectedOnAnotherThreadLeavesTheInputToTheReader) {
  // Bytes a broadcasting thread took into the buffer would leave the reader waiting for data the
  // socket no longer has.
  TIdIOHandlerMemory io;
  std::thread::id reader;
  std::thread([&] { reader = std::this_thread::get_id(); }).join();
  io.SetReaderThread(reader);
  io.Feed("ab", true);
  EXPECT_TRUE(io.Connected());
  EXPECT_EQ(io.InputBuffer().Size(), 0);
  io.SetReaderThread(std::this_thread::get_id());
  EXPECT_EQ(io.ReadByte(), 'a');
  EXPECT_EQ(io.ReadByte(), 'b');
  EXPECT_THROW(io.ReadByte(), EIdConnClosedGracefully);
  // Once the reader has seen the end, other threads see it too.
  io.SetReaderThread(reader);
  EXPECT_FALSE(io.Connected());
}

TEST(IOHandler, CheckForDataOnSourceCountsOnlyNewArrivals) {
  TIdIOHandlerMemory io;
  EXPECT_FALSE(io.CheckForDataOnSource(10));
  io.Feed("a");
  EXPECT_TRUE(io.CheckForDataOnSource(10));
  // Already buffered before the call: not new.
  EXPECT_FALSE(io.CheckForDataOnSource(10));
  EXPECT_EQ(io.InputBuffer().Size(), 1);
  io.FeedEndOfStream();
  EXPECT_FALSE(io.CheckForDataOnSource(10));
}

TEST(IOHandler, WriteTextUsesAsciiUnlessToldOtherwise) {
  TIdIOHandlerMemory io;
  io.Write(u"\u00E9");
  EXPECT_EQ(io.TakeWritten(), TIdBytes{63});
  io.Write(u"\u00E9", &IdTextEncodingUTF8());
  EXPECT_EQ(io.TakeWritten(), (TIdBytes{195, 169}));
  io.Write(u"");
  EXPECT_TRUE(io.TakeWritten().empty());
}

TEST(IOHandler, WriteClipsToTheArray) {
  TIdIOHandlerMemory io;
  io.Write(Bytes("abcdef"), 100, 2);
  EXPECT_EQ(io.TakeWritten(), Bytes("cdef"));
  io.Write(Bytes("abc"), -1, 3);
  EXPECT_TRUE(io.TakeWritten().empty());
}

TEST(IOHandler, ClosedConnection) {
  TIdIOHandlerMemory io;
  io.Close();
  io.Close();  // harmless
  EXPECT_FALSE(io.Connected());
  EXPECT_THROW(io.Write(Bytes("x")), EIdConnClosedGracefully);
  EXPECT_THROW(io.ReadByte(), EIdConnClosedGracefully);
  EXPECT_FALSE(io.CheckForDataOnSource(10));
}

TEST(IOHandler, TransportFailureAtEachCall) {
  // A failing wait (call 1) or receive (call 2) reaches the reader as a socket error; in the
  // connected test a reset means "not connected" while other errors still raise.
  for (int failAt = 1; failAt <= 2; ++failAt) {
    SCOPED_TRACE(failAt);
    TIdIOHandlerMemory io;
    io.Feed("abc");
    io.FailAtCall(failAt, 10054);
    EXPECT_THROW(io.ReadByte(), EIdSocketError);
  }
  TIdIOHandlerMemory io;
  io.FailAtCall(1, 10054);
  EXPECT_FALSE(io.Connected());
  TIdIOHandlerMemory other;
  other.FailAtCall(1, 10022);
  EXPECT_THROW(other.Connected(), EIdSocketError);
  TIdIOHandlerMemory writer;
  writer.FailAtCall(1, 10053);
  EXPECT_THROW(writer.Write(Bytes("x")), EIdSocketError);
}

}  // namespace
