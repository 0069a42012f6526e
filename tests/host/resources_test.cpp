// The resources that ship, read back from the compiled .res: texts byte for byte in code page
// 932, the dialog template, the icon and the version block.
#include <cstring>
#include <map>

#include "test_support.h"

namespace {

using winsim::Sjis;

std::string LoadText(UINT id, int capacity = 1024) {
  std::vector<char> buffer(capacity + 1, 'X');
  int n = LoadStringA(winsim::ProgramInstance(), id, buffer.data(), capacity);
  EXPECT_EQ(static_cast<size_t>(n), std::strlen(buffer.data()));
  return std::string(buffer.data());
}

TEST_F(MachineTest, EveryStringOfTheTableIsItsCp932Text) {
  const std::vector<std::pair<UINT, std::string>> table = {
      {1, "ZORVIK Tablet Driver Uninstaller"},
      {2, "ﾌｧｲﾙの削除でｴﾗｰが発生しました。"},
      {3, "ﾚｼﾞｽﾄﾘの削除でｴﾗｰが発生しました。"},
      {4, "ﾀﾌﾞﾚｯﾄﾄﾞﾗｲﾊﾞのｱﾝｲﾝｽﾄｰﾙは完了しました。"},
      {5, "ﾀﾌﾞﾚｯﾄﾄﾞﾗｲﾊﾞのｱﾝｲﾝｽﾄｰﾙは完了しました。\n\n一部のﾌｧｲﾙはﾘﾌﾞｰﾄ時に削除されます。"},
      {8,
       "いくつかのﾌｧｲﾙまたはﾚｼﾞｽﾄﾘの削除でｴﾗｰが発生しました。\n\nもう一度このﾌﾟﾛｸﾞﾗﾑを実行するか、\n"
       "または履歴を確認して手動で削除してください。"},
      {9, "%sﾃﾞｨﾚｸﾄﾘが見つかりませんでした"},
      {10, "ﾊﾞｯﾌｧｴﾗｰ"},
      {11, "ﾌｧｲﾙ / ﾚｼﾞｽﾄﾘ"},
      {12, "状態"},
      {13, "ｴﾗｰ"},
      {14, "削除"},
      {15, "ﾌｧｲﾙなし"},
      {16, "ﾌｫﾙﾀﾞなし"},
      {17, "ﾘﾌﾞｰﾄ時削除"},
      {18, "ｷｰなし"},
      {19, "値なし"},
      {20, "検出ｴﾗｰ"},
      {21, "==========  ﾌｧｲﾙ  =========="},
      {22, "==========  ﾚｼﾞｽﾄﾘ  =========="},
      {23, "「ZORVIK」ﾌｫﾙﾀﾞ"},
      {24, "ｱﾝｲﾝｽﾄｰﾙには管理者の権限が必要です。\n\n管理者としてﾛｸﾞｵﾝしてから、もう一度実行してください。"},
  };
  for (const auto& [id, utf8] : table) {
    EXPECT_EQ(Sjis(utf8), LoadText(id)) << "string " << id;
  }
  // Half-width katakana are single bytes in code page 932: "ｴﾗｰ" is three bytes.
  EXPECT_EQ("\xB4\xD7\xB0", LoadText(IDS_ST_ERROR));
  // 6 and 7 are not defined, nor is anything past 24.
  for (UINT id : {0u, 6u, 7u, 25u}) EXPECT_EQ("", LoadText(id)) << "string " << id;
}

TEST_F(MachineTest, LoadStringCutsAtCapacityWithoutSplittingACharacter) {
  // "状態" is two double-byte characters: a 4-byte buffer holds one and the terminator.
  EXPECT_EQ(Sjis("状"), LoadText(IDS_COL_STATUS, 4));
  EXPECT_EQ(Sjis("状"), LoadText(IDS_COL_STATUS, 3));
  EXPECT_EQ("", LoadText(IDS_COL_STATUS, 2));
  EXPECT_EQ("ZORVIK", LoadText(IDS_TITLE, 7));
  // The two long texts still fit the 255-byte buffers they are loaded into.
  EXPECT_LT(LoadText(IDS_PARTIAL_FAILURE).size(), 254u);
  EXPECT_EQ(LoadText(IDS_PARTIAL_FAILURE), LoadText(IDS_PARTIAL_FAILURE, 255));
}

TEST_F(MachineTest, DialogTemplateIsTheClassicTemplateOfTheMainWindow) {
  winsim::DialogTemplate t;
  ASSERT_TRUE(winsim::LoadDialogTemplate(IDD_MAIN, &t));
  EXPECT_EQ(0x10C808C0u, t.style);
  EXPECT_EQ(0u, t.exStyle);
  EXPECT_EQ(50, t.x);
  EXPECT_EQ(50, t.y);
  EXPECT_EQ(347, t.cx);
  EXPECT_EQ(113, t.cy);
  EXPECT_EQ("GDUINST", t.className);
  EXPECT_EQ("ZORVIK Tablet Driver Uninstaller ver1.1", t.caption);
  EXPECT_EQ(10, t.pointSize);
  EXPECT_EQ(Sjis("ＭＳ Ｐゴシック"), t.font);
  // A classic template starts with its style, not with the extended template's signature.
  const std::vector<unsigned char>* raw = winsim::ResourceData(5, IDD_MAIN);
  ASSERT_NE(nullptr, raw);
  EXPECT_EQ(0xC0, (*raw)[0]);
  EXPECT_EQ(0x10, (*raw)[3]);

  struct Expected {
    WORD id;
    const char* cls;
    const char* text;
    DWORD style;
    short x, y, cx, cy;
  };
  const Expected controls[] = {
      {1, "Button", "閉じる", 0x50010000, 302, 37, 42, 14},
      {1071, "SysListView32", "List2", 0x50810001, 2, 20, 297, 90},
      {0xFFFF, "Static", "ZORVIKﾀﾌﾞﾚｯﾄﾄﾞﾗｲﾊﾞのﾌｧｲﾙ/ﾚｼﾞｽﾄﾘをすべて削除します", 0x50020000, 5, 5, 233, 10},
      {0xFFFF, "Static", "", 0x50001000, 242, 2, 102, 14},
      {0xFFFF, "Static", "OS :", 0x50020000, 248, 5, 16, 10},
      {1073, "Static", "Windows95", 0x50020000, 265, 5, 70, 10},
      {1012, "Button", "実行", 0x50010000, 302, 19, 42, 14},
  };
  ASSERT_EQ(7u, t.items.size());
  for (size_t i = 0; i < 7; ++i) {
    const winsim::DialogItem& got = t.items[i];
    const Expected& want = controls[i];
    EXPECT_EQ(want.id, got.id) << "control " << i;
    // Buttons and statics are stored as the predefined class ordinals; windres stores other class
    // names in capitals, and Windows compares class names without regard to case.
    EXPECT_EQ(0, lstrcmpiA(want.cls, got.className.c_str())) << "control " << i << ": " << got.className;
    EXPECT_EQ(Sjis(want.text), got.text) << "control " << i;
    EXPECT_EQ(want.style, got.style) << "control " << i;
    EXPECT_EQ(0u, got.exStyle) << "control " << i;
    EXPECT_EQ(want.x, got.x) << "control " << i;
    EXPECT_EQ(want.y, got.y) << "control " << i;
    EXPECT_EQ(want.cx, got.cx) << "control " << i;
    EXPECT_EQ(want.cy, got.cy) << "control " << i;
  }
}

TEST_F(MachineTest, IconIsOne32By32SixteenColourImage) {
  const std::vector<unsigned char>* group = winsim::ResourceData(14, IDI_MAIN);
  ASSERT_NE(nullptr, group);
  ASSERT_GE(group->size(), 6u + 14u);
  EXPECT_EQ(1, (*group)[4] | ((*group)[5] << 8));    // one image
  EXPECT_EQ(32, (*group)[6]);                        // width
  EXPECT_EQ(32, (*group)[7]);                        // height
  EXPECT_EQ(16, (*group)[8]);                        // colours
  EXPECT_EQ(4, (*group)[12] | ((*group)[13] << 8));  // bits per pixel
}

// Reads the version resource: the fixed block and the strings of block "041104b0".
struct VersionInfo {
  uint32_t fileMs = 0, fileLs = 0, productMs = 0, productLs = 0, fileOs = 0, fileType = 0;
  std::map<std::u16string, std::u16string> strings;
  std::u16string block;
  uint32_t translation = 0;
};

VersionInfo ReadVersion(const std::vector<unsigned char>& d) {
  auto u16 = [&](size_t p) { return static_cast<uint16_t>(d[p] | (d[p + 1] << 8)); };
  auto u32 = [&](size_t p) { return static_cast<uint32_t>(u16(p) | (u16(p + 2) << 16)); };
  auto key = [&](size_t p, size_t* end) {
    std::u16string s;
    while (u16(p) != 0) {
      s += static_cast<char16_t>(u16(p));
      p += 2;
    }
    *end = (p + 2 + 3) & ~size_t(3);
    return s;
  };
  VersionInfo v;
  size_t pos;
  key(6, &pos);  // "VS_VERSION_INFO"
  EXPECT_EQ(0xFEEF04BDu, u32(pos));
  v.fileMs = u32(pos + 8);
  v.fileLs = u32(pos + 12);
  v.productMs = u32(pos + 16);
  v.productLs = u32(pos + 20);
  v.fileOs = u32(pos + 32);
  v.fileType = u32(pos + 36);
  // Walk every node after the fixed block; string values are UTF-16 text, the translation is binary.
  std::function<void(size_t, size_t)> walk = [&](size_t start, size_t end) {
    size_t p = start;
    while (p + 6 < end) {
      size_t len = u16(p), valueLen = u16(p + 2), type = u16(p + 4);
      if (len == 0) break;
      size_t valuePos;
      std::u16string name = key(p + 6, &valuePos);
      if (name == u"StringFileInfo" || name == u"VarFileInfo") {
        walk(valuePos, p + len);
      } else if (name.size() == 8 && valueLen == 0) {
        v.block = name;
        walk(valuePos, p + len);
      } else if (name == u"Translation") {
        v.translation = u32(valuePos);
      } else if (type == 1) {
        std::u16string value;
        for (size_t q = valuePos; q < p + len && u16(q) != 0; q += 2) value += static_cast<char16_t>(u16(q));
        v.strings[name] = value;
      }
      p = (p + len + 3) & ~size_t(3);
    }
  };
  walk((pos + 52 + 3) & ~size_t(3), d.size());
  return v;
}

TEST_F(MachineTest, VersionBlockNamesTheProductAndVersion) {
  const std::vector<unsigned char>* raw = winsim::ResourceData(16, 1);
  ASSERT_NE(nullptr, raw);
  VersionInfo v = ReadVersion(*raw);
  EXPECT_EQ(0x00010001u, v.fileMs);
  EXPECT_EQ(0u, v.fileLs);
  EXPECT_EQ(0x00010001u, v.productMs);
  EXPECT_EQ(0u, v.productLs);
  EXPECT_EQ(0x40004u, v.fileOs);  // 32-bit Windows NT
  EXPECT_EQ(1u, v.fileType);      // application
  EXPECT_EQ(u"041104b0", v.block);
  EXPECT_EQ(0x04B00411u, v.translation);
  EXPECT_EQ(u"Tablet Driver Uninstaller", v.strings[u"FileDescription"]);
  EXPECT_EQ(u"ZORVIK Tablet Driver Uninstaller", v.strings[u"ProductName"]);
  EXPECT_EQ(u"ZORVIK Tablet Driver Uninstaller", v.strings[u"InternalName"]);
  EXPECT_EQ(u"ZORVIK Tablet Driver Uninstaller", v.strings[u"Comments"]);
  EXPECT_EQ(u"1, 1, 0, 0", v.strings[u"FileVersion"]);
  EXPECT_EQ(u"1, 1, 0, 0", v.strings[u"ProductVersion"]);
  for (const char16_t* empty : {u"LegalTrademarks", u"PrivateBuild", u"SpecialBuild"}) {
    ASSERT_EQ(1u, v.strings.count(empty));
    EXPECT_EQ(u"", v.strings[empty]);
  }
}

}  // namespace
