// The forms state's start values, the field table's capacity rules, the help
// header, the built-in formats, and saved screen rectangles.
#include "common/log.h"
#include "core/cuscr_fixture.h"
#include "mcs/fmt_helpers.h"
#include "mcs/mcsfmt.h"

#include <fstream>
#include <sstream>

namespace {

using fmttest::FmtSpec;
using fmttest::makeFormat;

std::string name8(const char* p) { return std::string(p, 8); }

TEST(FmtInit, StartValues)
{
    McsFormsState fs;
    fs.decimalChar = ',';
    ASSERT_EQ(mcsinit(fs, 30, 200), 0);
    EXPECT_EQ(fs.termKind, 6);
    EXPECT_EQ(fs.mcsNumRow, 30);
    EXPECT_EQ(fs.mcsNumCol, 166);
    EXPECT_EQ(name8(fs.sysName), "Zendra  ");
    EXPECT_EQ(std::string(fs.wsKind, 4), "PC  ");
    EXPECT_EQ(std::string(fs.termId, MCS_TERMID_LEN), "UTS1.00t" + std::string(38, '0'));
    EXPECT_EQ(name8(fs.curFmtName), "        ");
    EXPECT_EQ(fs.fieldCap, 300);
    EXPECT_EQ(fs.signStyle, 112);
    EXPECT_EQ(fs.decimalChar, ',');     // only a value of blank or below is replaced
    EXPECT_EQ(fs.currencyChar, '$');
    EXPECT_EQ(fs.fillChar, ' ');
    EXPECT_EQ(fs.keyChar, 0xC600);
    // The front end uses every row.
    EXPECT_EQ(fs.lastRow, 29);
    EXPECT_EQ(fs.usableRows, 30);
    EXPECT_EQ(fs.mcsBrow, 30);
    EXPECT_EQ(fs.mcsBcol, 166);
    EXPECT_EQ(fs.cells, 30 * 166);
    ASSERT_TRUE(fs.map);
    for (int i = 0; i < 32 * 166; ++i)
        ASSERT_EQ(fs.map[i], 0x0080) << i;

    // Once per context.
    fs.fillChar = '*';
    EXPECT_EQ(mcsinit(fs, 24, 80), 0);
    EXPECT_EQ(fs.mcsNumRow, 30);
    EXPECT_EQ(fs.fillChar, '*');
}

struct CapacityCase {
    int fields;
    int capacity;
};

class FmtCapacity : public ::testing::TestWithParam<CapacityCase> {};

TEST_P(FmtCapacity, PreparedTableHoldsTheFormat)
{
    McsFormsState fs;
    ASSERT_EQ(mcsinit(fs, 24, 80), 0);
    FmtSpec s;
    s.fields = 1;
    s.headerFields = GetParam().fields;
    ASSERT_EQ(mcsPrepFields(fs, makeFormat(s)), 0);
    EXPECT_EQ(fs.fieldCap, GetParam().capacity);
    EXPECT_EQ(fs.numFields, GetParam().fields);
    EXPECT_EQ(name8(fs.curFmtName), "CUST01  ");
}

INSTANTIATE_TEST_SUITE_P(Fields, FmtCapacity,
                         ::testing::Values(CapacityCase{10, 300}, CapacityCase{280, 300}, CapacityCase{281, 602},
                                           CapacityCase{300, 640}));

std::string readLog(const std::string& path)
{
    logClose();
    std::ifstream in(path);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

TEST(FmtFields, MoreFieldsThanTheHeaderGrowTheTableBySixteen)
{
    const std::string path = kvxtest::scratchDir("FmtFields_Grow") + "/trace.log";
    ASSERT_EQ(logOpen(path.c_str(), 0), 0);
    McsFormsState fs;
    ASSERT_EQ(mcsinit(fs, 24, 80), 0);
    FmtSpec s;
    s.fields = 320;
    s.headerFields = 2;
    std::vector<uint8_t> f = makeFormat(s);
    ASSERT_EQ(mcsPrepFields(fs, f), 0);
    ASSERT_EQ(fs.fieldCap, 300);

    // The interpreter records one field after the other.
    const int total = mcsFmtStreamFields(f);
    ASSERT_EQ(total, 320);
    for (int no = 1; no <= total; ++no) {
        ASSERT_EQ(mcsFieldsEnsure(fs, no), 0);
        fs.mcsFields[no].length = 4;
        fs.mcsFields[no].row = (uint8_t)no;
    }
    EXPECT_EQ(fs.fieldCap, 332);
    for (int no = 1; no <= total; ++no)
        ASSERT_EQ(fs.mcsFields[no].row, (uint8_t)no);
    EXPECT_EQ(fs.mcsFields[fs.fieldCap].length, 0);

    const std::string log = readLog(path);
    EXPECT_NE(log.find("MCS fields array 300 but need 300"), std::string::npos) << log;
    EXPECT_NE(log.find("MCS fields array 316 but need 316"), std::string::npos) << log;
    EXPECT_EQ(log.find("MCS fields array 332"), std::string::npos);
}

std::vector<uint8_t> helpTable()
{
    std::vector<uint8_t> t(FHT_ENTRIES + FHT_ENTRYSIZE, 0);
    t[0] = 'J';
    t[FHT_SYSKEY] = 1;
    t[FHT_SCRKEY] = 2;
    t[FHT_FLDKEY] = 3;
    std::memcpy(t.data() + FHT_SYSNAME, "SYSHLP\0X", 8);
    std::memcpy(t.data() + FHT_SCRNAME, "SCREENHP", 8);
    t[FHT_COUNT + 1] = 1;
    t[FHT_ENTRIES] = 2;
    t[FHT_ENTRIES + 1] = 3;
    std::memcpy(t.data() + FHT_ENTRIES + 3, "FLDHELP1", 8);
    return t;
}

TEST(FmtFields, HelpHeaderComesFromTheHelpTable)
{
    McsFormsState fs;
    ASSERT_EQ(mcsinit(fs, 24, 80), 0);
    FmtSpec s;
    s.help = helpTable();
    std::vector<uint8_t> f = makeFormat(s);
    ASSERT_EQ(mcsPrepFields(fs, f), 0);
    EXPECT_EQ(name8(fs.sysHelpName), "SYSHLP  ");
    EXPECT_EQ(name8(fs.scrHelpName), "SCREENHP");
    EXPECT_EQ(fs.sysHelpKey, 1);
    EXPECT_EQ(fs.scrHelpKey, 2);
    EXPECT_EQ(fs.fldHelpKey, 3);
    char help[8];
    mcsFmtFieldHelp(f, 2, 3, help);
    EXPECT_EQ(name8(help), "FLDHELP1");
    mcsFmtFieldHelp(f, 2, 4, help);
    EXPECT_EQ(name8(help), std::string(8, '\0'));

    // A format without a table: blank names and no keys.
    FmtSpec plain;
    plain.name = "OTHER";
    ASSERT_EQ(mcsPrepFields(fs, makeFormat(plain)), 0);
    EXPECT_EQ(name8(fs.sysHelpName), "        ");
    EXPECT_EQ(fs.sysHelpKey, 0);
}

TEST(FmtFields, SameFormatAgainKeepsTableMasksAndHelp)
{
    McsFormsState fs;
    ASSERT_EQ(mcsinit(fs, 24, 80), 0);
    FmtSpec s;
    s.help = helpTable();
    std::vector<uint8_t> f = makeFormat(s);
    ASSERT_EQ(mcsPrepFields(fs, f), 0);
    fs.mcsFields[1].length = 4;
    fs.masks = std::make_unique<McsMaskBlock>();
    std::memcpy(fs.sysHelpName, "CHANGED ", 8);
    ASSERT_EQ(mcsPrepFields(fs, f), 0);
    EXPECT_EQ(fs.mcsFields[1].length, 4);
    EXPECT_TRUE(fs.masks);
    EXPECT_EQ(name8(fs.sysHelpName), "CHANGED ");

    // Forgetting the format: name blank, masks gone, table empty, help kept.
    ASSERT_EQ(mcsPrepFields(fs, {}), 0);
    EXPECT_EQ(name8(fs.curFmtName), "        ");
    EXPECT_FALSE(fs.masks);
    EXPECT_EQ(fs.mcsFields[1].length, 0);
    EXPECT_EQ(fs.fieldCap, 300);
    EXPECT_EQ(name8(fs.sysHelpName), "CHANGED ");
}

TEST(FmtBuiltIn, ControlPageHeaderMatchesItsStream)
{
    std::span<const uint8_t> cp = mcsFmtControlPage();
    ASSERT_EQ(cp.size(), (size_t)(MCS_FMT_HDRSIZE + 602));
    EXPECT_EQ(zenGet16(cp.data() + FH_STREAMLEN), 602);
    EXPECT_EQ(std::string((const char*)cp.data() + FH_NAME, 8), "KX$CPAGE");
    EXPECT_EQ(std::string((const char*)cp.data() + FH_LIBRARY, 8), "ZEN$Y$  ");
    EXPECT_EQ(cp[FH_OPTIONS], 0x05);
    EXPECT_EQ(cp[FH_OPTIONS + 2], 0x3A);
    EXPECT_EQ(cp[FH_CURROW], 1);
    EXPECT_EQ(cp[FH_CURCOL], 36);

    // A scan of the stream finds the values the header states.
    std::vector<uint8_t> copy(cp.begin(), cp.end());
    std::fill(copy.begin(), copy.begin() + 12, 0);
    mcsFmtScan(copy);
    EXPECT_EQ(zenGet16(copy.data() + FH_DATASIZE), 296);
    EXPECT_EQ(zenGet16(copy.data() + FH_OUTSIZE), 241);
    EXPECT_EQ(zenGet16(copy.data() + FH_INSIZE), 199);
    EXPECT_EQ(copy[FH_ROWS], 24);
    EXPECT_EQ(copy[FH_COLS], 73);
    EXPECT_EQ(zenGet16(copy.data() + FH_FIELDS), 37);
    EXPECT_TRUE(std::equal(copy.begin(), copy.end(), cp.begin()));
}

TEST(FmtBuiltIn, UndefinedFormatCarriesTheName)
{
    std::array<uint8_t, 200> buf{};
    ASSERT_EQ(mcsFmtUndef("lost1", buf), MCS_FMT_UNDEF_LEN);
    EXPECT_EQ(std::string((const char*)buf.data() + FH_NAME, 8), "LOST1   ");
    EXPECT_EQ(zenGet16(buf.data() + FH_AREAA), 30);
    EXPECT_EQ(zenGet16(buf.data() + FH_STREAMLEN), MCS_FMT_UNDEF_LEN - MCS_FMT_HDRSIZE);
    std::vector<uint8_t> copy(buf.begin(), buf.begin() + MCS_FMT_UNDEF_LEN);
    mcsFmtScan(copy);
    EXPECT_EQ(copy[FH_ROWS], 4);
    EXPECT_EQ(copy[FH_COLS], 51);
    EXPECT_EQ(zenGet16(copy.data() + FH_FIELDS), 0);
    // Too small a buffer gets nothing.
    std::array<uint8_t, MCS_FMT_UNDEF_LEN> small{};
    EXPECT_EQ(mcsFmtUndef("lost1", small), 0);
}

TEST(FmtBuiltIn, ContinuationChainsAndRepeatsStayBounded)
{
    // Length continuations in a row that repeats 127 times inside a group
    // that repeats as well: the scan ends with capped sums.
    std::vector<uint8_t> f(MCS_FMT_HDRSIZE, 0);
    for (int i = 0; i < 40; ++i)
        f.insert(f.end(), {0x7F, 0x03, 0});
    f.insert(f.end(), {0x7F, 0x02, 0, 0x7F, 0x14, 0, 0x7F, 0x15, 120});
    f[FH_STREAMLEN] = 0;
    f[FH_STREAMLEN + 1] = (uint8_t)(f.size() - MCS_FMT_HDRSIZE);
    mcsFmtScan(f);
    EXPECT_GT(zenGet16(f.data() + FH_FIELDS), 1);
    EXPECT_EQ(zenGet16(f.data() + FH_DATASIZE), 0x7FFF);
    EXPECT_EQ(f[FH_ROWS], 255);   // 128 rows, walked 128 times more by the group, capped
}

class FmtSaveScreen : public CuScreenTest {};

TEST_F(FmtSaveScreen, RestoreAfterALargerFormatLeavesOnlyTheSavedRecords)
{
    openGrid(0, 24, 80);
    ASSERT_EQ(cuSelect(0), 0);
    McsFormsState fs;
    ASSERT_EQ(mcsinit(fs, 24, 80), 0);
    FmtSpec small;
    small.name = "SMALL";
    ASSERT_EQ(mcsPrepFields(fs, makeFormat(small)), 0);
    for (int i = 1; i <= 3; ++i) {
        fs.mcsFields[i].length = 4;
        fs.mcsFields[i].row = (uint8_t)i;
    }
    std::memcpy(fs.sysHelpName, "SAVEDSYS", 8);
    fs.mcsRow = 5;
    fs.mcsCol = 7;
    fs.fillChar = '_';
    fs.hlRow = 2;
    fs.hlLen = 4;
    cuPutText((const uint8_t*)"SAVED", 5, 3, 10, CU_ATTR_MCS_NORMAL);
    fs.map[3 * 80 + 10] = 0x0018;

    McsSaveRef holder;
    ASSERT_EQ(mcsSaveScreen(fs, &holder, 2, 5, 6, 40), 0);
    ASSERT_TRUE(holder);

    // A larger format painted over it.
    FmtSpec big;
    big.name = "BIG";
    big.fields = 50;
    ASSERT_EQ(mcsPrepFields(fs, makeFormat(big)), 0);
    for (int i = 1; i <= 50; ++i)
        fs.mcsFields[i].length = 2;
    cuPutText((const uint8_t*)"XXXXX", 5, 3, 10, CU_ATTR_MCS_NORMAL);
    fs.map[3 * 80 + 10] = 0x0080;
    fs.mcsRow = 0;
    fs.fillChar = ' ';
    std::memcpy(fs.sysHelpName, "OTHERSYS", 8);
    fs.sysHelpKey = 9;

    mcsRestoreScreen(fs, &holder);
    EXPECT_FALSE(holder);
    for (int i = 1; i <= 3; ++i) {
        EXPECT_EQ(fs.mcsFields[i].length, 4);
        EXPECT_EQ(fs.mcsFields[i].row, i);
    }
    for (int i = 4; i <= fs.fieldCap; ++i)
        ASSERT_EQ(fs.mcsFields[i].length, 0) << i;
    EXPECT_EQ(rowText(cuScrPtr, 3).substr(10, 5), "SAVED");
    EXPECT_EQ(fs.map[3 * 80 + 10], 0x0018);
    EXPECT_EQ(fs.mcsRow, 5);
    EXPECT_EQ(fs.mcsCol, 7);
    EXPECT_EQ(fs.fillChar, '_');
    EXPECT_EQ(fs.hlRow, 2);
    EXPECT_EQ(fs.hlLen, 4);
    EXPECT_EQ(name8(fs.sysHelpName), "SAVEDSYS");
    EXPECT_EQ(fs.sysHelpKey, 9);   // help keys are not saved
    int row = -1, col = -1, shape = 0;
    cuGetCursor(&row, &col, &shape);
    EXPECT_EQ(row, 5);
    EXPECT_EQ(col, 7);

    // An empty holder does nothing; a bad rectangle saves nothing.
    mcsRestoreScreen(fs, &holder);
    EXPECT_LT(mcsSaveScreen(fs, &holder, 2, 5, 30, 40), 0);
    EXPECT_FALSE(holder);
}

} // namespace
