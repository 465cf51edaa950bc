#include <gtest/gtest.h>

#include <string>

#include "JsonExceptions.h"
#include "JsonTestSupport.h"

namespace {

std::string CastError(const TJsonObject& AObject, std::u16string_view AName) {
  try {
    AObject.GetString(AName);
  } catch (const EJsonCastException& e) {
    return e.what();
  }
  return "no error";
}

}  // namespace

TEST(JsonObject, BuildsEventsInInsertionOrder) {
  TJsonObject event;
  EXPECT_EQ(event.ToString(), u"{}");
  event.SetString(u"a", u"b");
  event.SetInt(u"n", 1);
  EXPECT_EQ(event.ToString(), u"{\"a\":\"b\",\"n\":1}");
  event.SetString(u"a", u"x");
  EXPECT_EQ(event.ToString(), u"{\"a\":\"x\",\"n\":1}");
}

TEST(JsonObject, SettingAnExistingMemberKeepsItsPositionAndReplacesItsType) {
  auto object = ParseObject(u"{\"first\":{\"deep\":[1,2]},\"mid\":\"s\",\"last\":[true]}");
  object->SetInt(u"first", -2147483647 - 1);
  object->SetString(u"last", u"");
  object->SetInt(u"mid", 2147483647);
  object->SetString(u"", u"empty name");
  EXPECT_EQ(object->ToString(),
            u"{\"first\":-2147483648,\"mid\":2147483647,\"last\":\"\",\"\":\"empty name\"}");
  EXPECT_EQ(object->Items(0).Typ(), jdtInt);
  EXPECT_EQ(object->Items(2).Typ(), jdtString);
}

TEST(JsonObject, GetStringGivesTheTextOfScalars) {
  auto object = ParseObject(
      u"{\"i\":5,\"neg\":-7,\"l\":12345678901,\"f\":2.5,\"t\":true,\"b\":false,\"s\":\"txt\"}");
  EXPECT_EQ(object->GetString(u"i"), u"5");
  EXPECT_EQ(object->GetString(u"neg"), u"-7");
  EXPECT_EQ(object->GetString(u"l"), u"12345678901");
  EXPECT_EQ(object->GetString(u"f"), u"2.5");
  EXPECT_EQ(object->GetString(u"t"), u"true");
  EXPECT_EQ(object->GetString(u"b"), u"false");
  EXPECT_EQ(object->GetString(u"s"), u"txt");
  TJsonObject fresh;
  fresh.AddItem(u"none");
  EXPECT_EQ(fresh.GetString(u"none"), u"");
  EXPECT_EQ(fresh.ToString(), u"{\"none\":null}");
}

TEST(JsonObject, DocumentsAndNullCannotBeReadAsText) {
  auto object = ParseObject(u"{\"n\":null,\"o\":{},\"a\":[],\"s\":\"x\"}");
  EXPECT_EQ(CastError(*object, u"n"), "Cannot cast Object into String");
  EXPECT_EQ(CastError(*object, u"o"), "Cannot cast Object into String");
  EXPECT_EQ(CastError(*object, u"a"), "Cannot cast Array into String");
  EXPECT_THROW(object->GetString(u"n"), EJsonException);
  // The first member decides, even when a later one of the same name is text.
  auto duplicate = ParseObject(u"{\"state\":null,\"state\":\"x\"}");
  EXPECT_EQ(CastError(*duplicate, u"state"), "Cannot cast Object into String");
}

TEST(JsonObject, DocumentAccessChecksTheType) {
  auto object = ParseObject(u"{\"s\":\"x\",\"i\":1,\"a\":[]}");
  EXPECT_THROW(
      {
        try {
          object->Items(0).ArrayValue();
        } catch (const EJsonCastException& e) {
          EXPECT_STREQ(e.what(), "Cannot cast String into Array");
          throw;
        }
      },
      EJsonCastException);
  EXPECT_THROW(
      {
        try {
          object->Items(2).ObjectValue();
        } catch (const EJsonCastException& e) {
          EXPECT_STREQ(e.what(), "Cannot cast Array into Object");
          throw;
        }
      },
      EJsonCastException);
  EXPECT_THROW(object->Items(1).ObjectValue(), EJsonCastException);
}

TEST(JsonObject, TypeNamesOfMessages) {
  const std::pair<TJsonDataType, const char*> names[] = {
      {jdtNone, "null"},         {jdtString, "String"},
      {jdtInt, "Integer"},       {jdtLong, "Long"},
      {jdtULong, "ULong"},       {jdtFloat, "Float"},
      {jdtDateTime, "DateTime"}, {jdtUtcDateTime, "UTC-DateTime"},
      {jdtBool, "Bool"},         {jdtArray, "Array"},
      {jdtObject, "Object"},
  };
  for (const auto& [type, name] : names) EXPECT_STREQ(JsonDataTypeName(type), name);
  EXPECT_STREQ(EJsonCastException(jdtBool, jdtUtcDateTime).what(),
               "Cannot cast Bool into UTC-DateTime");
}

TEST(JsonObject, NamesAndValuesMayComeFromTheSameObject) {
  // Four short members fill the first capacity step; the next append grows the array while the
  // name or value being appended still points into it.
  TJsonObject object;
  for (const char16_t* name : {u"a", u"b", u"c", u"d"}) object.SetString(name, name);
  object.AddItem(object.Names(0));
  object.SetString(u"copy", object.Names(1));
  EXPECT_EQ(object.ToString(),
            u"{\"a\":\"a\",\"b\":\"b\",\"c\":\"c\",\"d\":\"d\",\"a\":null,\"copy\":\"b\"}");
}

TEST(JsonObject, ManyMembersKeepTheirOrder) {
  TJsonObject object;
  std::u16string expected = u"{";
  for (int i = 0; i < 300; ++i) {
    const std::u16string name = u"member" + U16(std::to_string(i));
    object.SetInt(name, i);
    expected += (i > 0 ? u",\"" : u"\"") + name + u"\":" + U16(std::to_string(i));
  }
  expected += u"}";
  EXPECT_EQ(object.ToString(), expected);
  EXPECT_EQ(object.IndexOf(u"member299"), 299);
  EXPECT_EQ(ParseObject(expected)->ToString(), expected);
}

TEST(JsonObject, IndentedFormPutsEachEntryOnItsOwnLine) {
  auto object = ParseObject(u"{\"a\":[1,{}],\"b\":\"x\",\"c\":[]}");
  EXPECT_EQ(object->ToJSON(false),
            u"{\n  \"a\": [\n    1,\n    {}\n  ],\n  \"b\": \"x\",\n  \"c\": []\n}");
  EXPECT_EQ(object->ToJSON(), object->ToString());
}
