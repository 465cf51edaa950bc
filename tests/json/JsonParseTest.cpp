#include <gtest/gtest.h>

#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "JsonExceptions.h"
#include "JsonTestSupport.h"

TEST(JsonParse, NoTextOrBlanksOnlyGivesNothing) {
  EXPECT_EQ(TJsonBaseObject::Parse(nullptr, 5), nullptr);
  EXPECT_EQ(TJsonBaseObject::Parse(u"{}", 0), nullptr);
  EXPECT_EQ(TJsonBaseObject::Parse(u""), nullptr);
  // Every code unit up to 32 counts as blank, NUL included.
  EXPECT_EQ(TJsonBaseObject::Parse(std::u16string_view(u" \t\r\n\x01\x1f \0 ", 9)), nullptr);
}

TEST(JsonParse, LengthLimitsTheText) {
  // A negative length stops at the first NUL: the rest would not parse.
  const char16_t text[] = u"{\"a\":1}\0{{{";
  auto untilNul = TJsonBaseObject::Parse(text, -1);
  ASSERT_NE(untilNul, nullptr);
  EXPECT_EQ(untilNul->ToString(), u"{\"a\":1}");
  EXPECT_EQ(TJsonBaseObject::Parse(u"   \0{}", -1), nullptr);
  // A positive length cuts the text, here inside the string.
  EXPECT_THROW(TJsonBaseObject::Parse(u"{\"a\":\"bc\"}", 7), EJsonParserException);
  EXPECT_EQ(TJsonBaseObject::Parse(u"{}{{{", 2)->ToString(), u"{}");
}

TEST(JsonParse, BracketGivesArrayAnythingElseAnObject) {
  auto array = TJsonBaseObject::Parse(u" \n[1,2]");
  ASSERT_NE(dynamic_cast<TJsonArray*>(array.get()), nullptr);
  EXPECT_EQ(static_cast<TJsonArray&>(*array).Count(), 2);
  EXPECT_EQ(array->ToString(), u"[1,2]");

  auto object = TJsonBaseObject::Parse(u"\t{\"act\":\"init\",\"state\":\"x\"}");
  ASSERT_NE(dynamic_cast<TJsonObject*>(object.get()), nullptr);
}

TEST(JsonParse, CommandMembersReadAsText) {
  auto command = ParseObject(u"{\"act\":\"init\",\"state\":\"x\"}");
  EXPECT_EQ(command->GetString(u"act"), u"init");
  EXPECT_EQ(command->GetString(u"state"), u"x");
  EXPECT_EQ(command->GetString(u"missing"), u"");
  // Names are compared exactly.
  EXPECT_EQ(command->GetString(u"Act"), u"");
  EXPECT_EQ(command->GetString(u"act "), u"");
}

TEST(JsonParse, IdentifiersAreNamesAndStringValues) {
  auto command = ParseObject(u"{act:init, $x : y_2, _:$}");
  ASSERT_EQ(command->Count(), 3);
  EXPECT_EQ(command->Names(0), u"act");
  EXPECT_EQ(command->Items(0).Typ(), jdtString);
  EXPECT_EQ(command->GetString(u"act"), u"init");
  EXPECT_EQ(command->GetString(u"$x"), u"y_2");
  EXPECT_EQ(command->GetString(u"_"), u"$");
  EXPECT_EQ(command->ToString(), u"{\"act\":\"init\",\"$x\":\"y_2\",\"_\":\"$\"}");
}

TEST(JsonParse, LiteralsAreCaseSensitive) {
  auto object = ParseObject(u"{\"t\":true,\"f\":false,\"n\":null,\"T\":True,\"N\":NULL}");
  EXPECT_EQ(object->Items(0).Typ(), jdtBool);
  EXPECT_EQ(object->Items(1).Typ(), jdtBool);
  EXPECT_EQ(object->Items(2).Typ(), jdtObject);
  EXPECT_TRUE(object->Items(2).IsNull());
  EXPECT_EQ(object->Items(2).ObjectValue(), nullptr);
  // Not literals: identifiers, kept as strings.
  EXPECT_EQ(object->Items(3).Typ(), jdtString);
  EXPECT_EQ(object->GetString(u"N"), u"NULL");
  EXPECT_EQ(object->ToString(),
            u"{\"t\":true,\"f\":false,\"n\":null,\"T\":\"True\",\"N\":\"NULL\"}");
}

TEST(JsonParse, NumbersAndLiteralsAsNamesAreTakenAsWritten) {
  auto object = ParseObject(u"{1:2, -1.50e1:3, true:4, null:5}");
  ASSERT_EQ(object->Count(), 4);
  EXPECT_EQ(object->Names(0), u"1");
  EXPECT_EQ(object->Names(1), u"-1.50e1");
  EXPECT_EQ(object->Names(2), u"true");
  EXPECT_EQ(object->Names(3), u"null");
  EXPECT_EQ(object->ToString(), u"{\"1\":2,\"-1.50e1\":3,\"true\":4,\"null\":5}");
}

TEST(JsonParse, DuplicateNamesStayAndLookupsSeeTheFirst) {
  auto object = ParseObject(u"{\"a\":\"1\",\"b\":0,\"a\":\"2\"}");
  ASSERT_EQ(object->Count(), 3);
  EXPECT_EQ(object->GetString(u"a"), u"1");
  EXPECT_EQ(object->ToString(), u"{\"a\":\"1\",\"b\":0,\"a\":\"2\"}");
  object->SetString(u"a", u"x");
  EXPECT_EQ(object->ToString(), u"{\"a\":\"x\",\"b\":0,\"a\":\"2\"}");
}

TEST(JsonParse, CompactTextDropsAllWhiteSpace) {
  auto object = ParseObject(u"{\"a\" : [ 1 , true , null ] }");
  EXPECT_EQ(object->ToString(), u"{\"a\":[1,true,null]}");
  auto nested = ParseObject(u"{ \"o\" : { } , \"e\" : [ ] , \"x\" : [ { \"y\" : [ [ ] ] } ] }");
  EXPECT_EQ(nested->ToString(), u"{\"o\":{},\"e\":[],\"x\":[{\"y\":[[]]}]}");
}

TEST(JsonParse, NestedDocumentsAreReachable) {
  auto object = ParseObject(u"{\"list\":[1,{\"k\":\"v\"},[]],\"obj\":{\"n\":2}}");
  const TJsonArray* list = object->Items(0).ArrayValue();
  ASSERT_NE(list, nullptr);
  ASSERT_EQ(list->Count(), 3);
  EXPECT_EQ(list->Items(0).AsString(), u"1");
  EXPECT_EQ(list->Items(1).ObjectValue()->GetString(u"k"), u"v");
  EXPECT_EQ(list->Items(2).ArrayValue()->Count(), 0);
  EXPECT_EQ(object->Items(1).ObjectValue()->GetString(u"n"), u"2");
}

TEST(JsonParse, OnlyTheFirstTokenAfterTheDocumentIsRead) {
  const char16_t* accepted[] = {
      u"{\"a\":1} trailing text ]]", u"{}}}}", u"{}#", u"[1]\"closed\" \"never read",
      u"{} 12abc \"never read",
  };
  for (size_t i = 0; i < std::size(accepted); ++i) {
    SCOPED_TRACE(i);
    EXPECT_NO_THROW(TJsonBaseObject::Parse(accepted[i]));
  }
  EXPECT_EQ(TJsonBaseObject::Parse(u"{\"a\":1} ignored")->ToString(), u"{\"a\":1}");
}

namespace {

std::u16string Repeat(std::u16string_view AText, int ACount) {
  std::u16string text;
  text.reserve(AText.size() * static_cast<size_t>(ACount));
  for (int i = 0; i < ACount; ++i) text.append(AText);
  return text;
}

}  // namespace

TEST(JsonParse, DeepestAcceptedNestingParsesWritesAndFrees) {
  const int depth = TJsonBaseObject::MaxNestingDepth;
  const std::u16string arrays = Repeat(u"[", depth) + Repeat(u"]", depth);
  EXPECT_EQ(TJsonBaseObject::Parse(arrays)->ToString(), arrays);

  const std::u16string objects = Repeat(u"{\"a\":", depth - 1) + u"{}" + Repeat(u"}", depth - 1);
  auto document = TJsonBaseObject::Parse(objects);
  EXPECT_EQ(document->ToString(), objects);
  // The indented form nests as deep and reads back to the same document.
  EXPECT_EQ(TJsonBaseObject::Parse(document->ToJSON(false))->ToString(), objects);
}

TEST(JsonParse, DocumentsOnSeveralThreadsShareNothing) {
  const std::u16string text =
      u"{\"event\":\"Finger Scan Info\",\"quality\":87,\"list\":[1.5,\"x\\n\",{\"k\":null}]}";
  std::vector<std::thread> threads;
  std::vector<int> mismatches(4, 0);
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < 300; ++i) {
        auto document = TJsonBaseObject::Parse(text);
        if (document->ToString() != text) ++mismatches[t];
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(mismatches, std::vector<int>(4, 0));
}
