// Commands read in place must give what the general reading gives: the same texts, the same
// errors, the same log text, the same drops.
#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <string>

#include "ClientCommand.h"
#include "DocumentCommand.h"
#include "JsonExceptions.h"

namespace {

TIdBytes Bytes(std::string_view AText) {
  return TIdBytes(AText.begin(), AText.end());
}

std::optional<std::u16string> TextOrRaise(const TClientCommand& ACommand, std::string_view AName) {
  try {
    return ACommand.Text(AName);
  } catch (const EJsonCastException&) {
    return std::nullopt;
  }
}

struct TCommandCase {
  const char* Name;
  std::string Payload;
  // Whether the in-place reading takes it; the general reading decides the rest.
  bool Flat;
};

void PrintTo(const TCommandCase& ACase, std::ostream* AOut) {
  *AOut << ACase.Name;
}

class ClientCommandTest : public testing::TestWithParam<TCommandCase> {};

TEST_P(ClientCommandTest, ReadsAsTheDocumentDoes) {
  const TIdBytes payload = Bytes(GetParam().Payload);
  TJsonFlatObject flat;
  EXPECT_EQ(flat.Scan(GetParam().Payload), GetParam().Flat);

  const TDocumentCommand expected(payload);
  const std::shared_ptr<const TClientCommand> command = TClientCommand::Read(payload);
  ASSERT_EQ(command == nullptr, expected.Document == nullptr);
  if (!command) return;
  EXPECT_EQ(command->LogText(), expected.Document->ToString());
  for (const char* name : {"act", "state", "templates", ""}) {
    EXPECT_EQ(TextOrRaise(*command, name), expected.Text(std::u16string(name, name + strlen(name))))
        << name;
  }
  EXPECT_EQ(command->Document()->ToString(), expected.Document->ToString());
}

INSTANTIATE_TEST_SUITE_P(
    Payloads, ClientCommandTest,
    testing::Values(
        TCommandCase{"Browser", R"({"act":"verify","state":"page 1"})", true},
        TCommandCase{"Empty", "{}", true},
        TCommandCase{"Blanks", " \t{ \"act\" :\r\n\"init\" , \"state\":\"\" }\n ", true},
        TCommandCase{"ControlBlanks", std::string("\x01{\"act\":\"init\"}\x1f", 16), true},
        TCommandCase{"NulBlank", std::string("{\"act\":\"init\"}\0", 15), true},
        TCommandCase{"Duplicates", R"({"state":"first","act":"init","state":"second"})", true},
        TCommandCase{"Utf8", "{\"state\":\"caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80\"}", true},
        TCommandCase{"EightMembers",
                     R"({"a":"1","b":"2","c":"3","d":"4","e":"5","f":"6","g":"7","act":"init"})",
                     true},
        TCommandCase{
            "NineMembers",
            R"({"a":"1","b":"2","c":"3","d":"4","e":"5","f":"6","g":"7","h":"8","act":"x"})",
            false},
        TCommandCase{"Escapes", R"({"act":"init","state":"a\"b\\c\/\u00e9\n"})", false},
        TCommandCase{"LoneSurrogateEscape", R"({"state":"\ud800"})", false},
        TCommandCase{"RawTab", "{\"state\":\"a\tb\"}", false},
        TCommandCase{"RawLineFeed", "{\"state\":\"a\nb\"}", false},
        TCommandCase{"Overlong", "{\"state\":\"\xc0\xaf\"}", false},
        TCommandCase{"EncodedSurrogate", "{\"state\":\"\xed\xa0\x80\"}", false},
        TCommandCase{"AboveUnicode", "{\"state\":\"\xf4\x90\x80\x80\"}", false},
        TCommandCase{"Truncated", "{\"state\":\"\xe2\x82\"}", false},
        TCommandCase{"InvalidOutsideString", "{\"act\":\"init\"}\xff", false},
        TCommandCase{"NumberState", R"({"act":"init","state":12.50})", false},
        TCommandCase{"LiteralState", R"({"act":"init","state":true})", false},
        TCommandCase{"NullState", R"({"act":"init","state":null})", false},
        TCommandCase{"ObjectState", R"({"act":"init","state":{"a":"b"}})", false},
        TCommandCase{"ArrayAct", R"({"act":["init"]})", false},
        TCommandCase{"IdentifierName", R"({act:"init"})", false},
        TCommandCase{"TextAfter", R"({"act":"init"} trailing)", false},
        TCommandCase{"SecondObject", R"({"act":"init"}{"act":"verify"})", false},
        TCommandCase{"UnclosedAfter", R"({"act":"init"} "open)", false},
        TCommandCase{"TrailingComma", R"({"act":"init",})", false},
        TCommandCase{"MissingColon", R"({"act" "init"})", false},
        TCommandCase{"Unclosed", R"({"act":"init")", false},
        TCommandCase{"TopLevelArray", R"([{"act":"init"}])", false},
        TCommandCase{"NotJson", "hello", false}, TCommandCase{"BlanksOnly", "  \n", false},
        TCommandCase{"Load", R"({"act":"load","templates":["a","b"],"state":"s"})", false}),
    [](const testing::TestParamInfo<TCommandCase>& AInfo) { return AInfo.param.Name; });

TEST(ClientCommandLogTest, WritesTheCommandCompactWhateverItsBlanks) {
  const auto command =
      TClientCommand::Read(Bytes(" { \"act\" : \"init\",\n\"state\" : \"a b\" } "));
  ASSERT_TRUE(command);
  EXPECT_EQ(command->LogText(), u"{\"act\":\"init\",\"state\":\"a b\"}");
}

TEST(ClientCommandLogTest, AnEmptyPayloadIsDropped) {
  EXPECT_EQ(TClientCommand::Read({}), nullptr);
}

}  // namespace
