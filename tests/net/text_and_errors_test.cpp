#include <gtest/gtest.h>

#include <cerrno>

#include "IdException.h"
#include "IdTextEncoding.h"

namespace {

struct TEncodingCase {
  const char* Name;
  std::u16string Text;
  TIdBytes Ascii;
  TIdBytes Utf8;
};

TEST(Encodings, EncodeTable) {
  const TEncodingCase cases[] = {
      {"empty", u"", {}, {}},
      {"e-acute", u"\u00E9", {63}, {195, 169}},
      {"ascii", u"Ab~", {'A', 'b', '~'}, {'A', 'b', '~'}},
      {"euro", u"\u20AC", {63}, {0xE2, 0x82, 0xAC}},
      {"pair", u"\U0001F600", {63, 63}, {0xF0, 0x9F, 0x98, 0x80}},
      {"lone high", std::u16string(1, char16_t(0xD800)) + u"A", {63, 'A'}, {0xEF, 0xBF, 0xBD, 'A'}},
      {"lone low", std::u16string(1, char16_t(0xDC00)), {63}, {0xEF, 0xBF, 0xBD}},
      {"reversed pair",
       std::u16string{char16_t(0xDC00), char16_t(0xD800)},
       {63, 63},
       {0xEF, 0xBF, 0xBD, 0xEF, 0xBF, 0xBD}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    EXPECT_EQ(IdTextEncodingASCII().GetBytes(c.Text), c.Ascii);
    EXPECT_EQ(IdTextEncodingUTF8().GetBytes(c.Text), c.Utf8);
  }
  EXPECT_EQ(&IdTextEncodingDefault(), &IdTextEncodingASCII());
}

TEST(Encodings, Utf8DecodeNeverFails) {
  const struct {
    TIdBytes Bytes;
    std::u16string Text;
  } cases[] = {
      {{255, 65}, u"\uFFFDA"},
      {{}, u""},
      {{0xC3, 0xA9}, u"\u00E9"},
      {{0xC3}, u"\uFFFD"},                                      // truncated
      {{0xC0, 0x80}, u"\uFFFD\uFFFD"},                          // overlong
      {{0xED, 0xA0, 0x80}, u"\uFFFD\uFFFD\uFFFD"},              // encoded surrogate
      {{0xE2, 0x82, 'x'}, u"\uFFFDx"},                          // maximal subpart then a character
      {{0xF4, 0x90, 0x80, 0x80}, u"\uFFFD\uFFFD\uFFFD\uFFFD"},  // above U+10FFFF
      {{0xF0, 0x9F, 0x98, 0x80}, u"\U0001F600"},
  };
  for (const auto& c : cases) EXPECT_EQ(IdTextEncodingUTF8().GetString(c.Bytes), c.Text);
  EXPECT_EQ(IdTextEncodingASCII().GetString(TIdBytes{'a', 200}), u"a\uFFFD");
}

TEST(SocketErrors, MessagesAndClasses) {
  EIdSocketError inUse(10048);
  EXPECT_EQ(inUse.LastError(), 10048);
  EXPECT_STREQ(inUse.what(), "Socket Error # 10048\r\nAddress already in use.");
  EXPECT_STREQ(EIdSocketError(10066).what(), "Socket Error # 10066\r\nDirectory not empty");
  EXPECT_STREQ(EIdSocketError(12345).what(), "Socket Error # 12345\r\n");
  EXPECT_THROW(RaiseSocketError(10038), EIdNotASocket);
  try {
    RaiseSocketError(10054);
    FAIL();
  } catch (const EIdNotASocket&) {
    FAIL() << "only 10038 is EIdNotASocket";
  } catch (const EIdSocketError& e) {
    EXPECT_STREQ(e.what(), "Socket Error # 10054\r\nConnection reset by peer.");
  }
  EXPECT_STREQ(EIdConnClosedGracefully().what(), "Connection Closed Gracefully.");
  EXPECT_STREQ(EIdClosedSocket().what(), "Disconnected.");
  EXPECT_STREQ(EIdNotConnected().what(), "Not Connected");
  EXPECT_STREQ(EIdReadTimeout().what(), "Read timed out.");
  EXPECT_STREQ(EIdTooMuchDataInBuffer().what(), "Too much data in buffer.");
}

TEST(SocketErrors, LinuxErrnoKeepsTheMeaningOfTheNumbers) {
  const struct {
    int Errno;
    int Number;
  } cases[] = {{EADDRINUSE, 10048}, {ENOTSOCK, 10038},  {ECONNABORTED, 10053},  {ECONNRESET, 10054},
               {EPIPE, 10058},      {ESHUTDOWN, 10058}, {EADDRNOTAVAIL, 10049}, {EACCES, 10013},
               {EAGAIN, 10035},     {ETIMEDOUT, 10060}, {ECONNREFUSED, 10061}};
  for (const auto& c : cases) EXPECT_EQ(SocketErrorFromErrno(c.Errno), c.Number) << c.Errno;
}

}  // namespace
