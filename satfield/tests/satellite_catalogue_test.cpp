// The catalogue in each of its forms, through the search as the program runs it.
#include <algorithm>
#include <cstdio>
#include <initializer_list>
#include <string>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <zlib.h>

#include "satellite_search.hpp"
#include "program_run.hpp"
#include "scratch_directory.hpp"

using namespace fieldsearch;

namespace {

// Three sets of the sample catalogue (two in the compiled-in field), and
// the same sets as OMM keyword values written by hand; the epochs are the
// sets' days of 2008 as calendar dates and times, computed apart.
const std::string THREE_LINE =
    "NAVSAT 36\n"
    "1 99985U 03048C   08140.60472935 -.00000004  00000-0 -56539-7 0  7746\n"
    "2 99985  64.5053 174.9255 0060809  71.1852 107.2231  2.00575294453287\n"
    "GEOCOM 66\n"
    "1 49595U 03066A   08139.61747879  .00000019  00000-0  16294-6 0  6318\n"
    "2 49595   0.0000 229.8011 0005699 270.1479 320.9337  1.00272049159441\n"
    "LEO SAT 2356\n"
    "1 27997U 86012D   08139.62996498  .00000021  00000-0  23056-6 0   597\n"
    "2 27997  51.6400 187.1059 0043946 130.2951 254.9118 13.85957255893370\n";

// Keywords in an order of their own, the name quoted.
const std::string CSV =
    "NORAD_CAT_ID,OBJECT_NAME,OBJECT_ID,EPOCH,MEAN_ANOMALY,ARG_OF_PERICENTER,RA_OF_ASC_NODE,INCLINATION,"
    "ECCENTRICITY,MEAN_MOTION,MEAN_MOTION_DOT,BSTAR,CLASSIFICATION_TYPE\n"
    "99985,\"NAVSAT 36\",2003-048C,2008-05-19T14:30:48.615840,107.2231,71.1852,174.9255,64.5053,0.0060809,"
    "2.00575294,-0.00000004,-5.6539e-8,U\n"
    "49595,GEOCOM 66,2003-066A,2008-05-18T14:49:10.167456,320.9337,270.1479,229.8011,0.0000,0.0005699,1.00272049,"
    "0.00000019,1.6294e-7,U\n"
    "\n"
    "27997,\"LEO SAT 2356\",1986-012D,2008-05-18T15:07:08.974272,254.9118,130.2951,187.1059,51.6400,0.0043946,"
    "13.85957255,0.00000021,2.3056e-7,U\n";

// Numbers as numbers in the first record, as text in the others.
const std::string JSON =
    "[{\"OBJECT_NAME\":\"NAVSAT 36\",\"OBJECT_ID\":\"2003-048C\",\"EPOCH\":\"2008-05-19T14:30:48.615840\","
    "\"MEAN_MOTION\":2.00575294,\"ECCENTRICITY\":0.0060809,\"INCLINATION\":64.5053,\"RA_OF_ASC_NODE\":174.9255,"
    "\"ARG_OF_PERICENTER\":71.1852,\"MEAN_ANOMALY\":107.2231,\"NORAD_CAT_ID\":99985,\"BSTAR\":-5.6539e-8,"
    "\"MEAN_MOTION_DOT\":-4e-8,\"MEAN_MOTION_DDOT\":0},\n"
    " {\"NORAD_CAT_ID\":\"49595\",\"OBJECT_NAME\":\"GEOCOM 66\",\"OBJECT_ID\":\"2003-066A\","
    "\"EPOCH\":\"2008-05-18T14:49:10.167456\",\"MEAN_MOTION\":\"1.00272049\",\"ECCENTRICITY\":\".0005699\","
    "\"INCLINATION\":\"0\",\"RA_OF_ASC_NODE\":\"229.8011\",\"ARG_OF_PERICENTER\":\"270.1479\","
    "\"MEAN_ANOMALY\":\"320.9337\",\"MEAN_MOTION_DOT\":\"0.00000019\",\"COMMENT\":[1,{\"a\":[]}]},\n"
    " {\"OBJECT_NAME\":\"LEO SAT 2356\",\"OBJECT_ID\":\"1986-012D\",\"EPOCH\":\"2008-05-18T15:07:08.974272\","
    "\"MEAN_MOTION\":\"13.85957255\",\"ECCENTRICITY\":\"0.0043946\",\"INCLINATION\":\"51.6400\","
    "\"RA_OF_ASC_NODE\":\"187.1059\",\"ARG_OF_PERICENTER\":\"130.2951\",\"MEAN_ANOMALY\":\"254.9118\","
    "\"NORAD_CAT_ID\":\"27997\",\"MEAN_MOTION_DOT\":\"0.00000021\",\"CLASSIFICATION_TYPE\":\"U\"}]\n";

std::string xml_omm(const char* name, const char* id, const char* epoch, const char* elements, const char* number,
                    const char* ndot)
{
    return std::string("<omm id=\"CCSDS_OMM_VERS\" version=\"2.0\"><header><ORIGINATOR>TEST</ORIGINATOR></header>"
                       "<body><segment><metadata><OBJECT_NAME>") +
           name + "</OBJECT_NAME><OBJECT_ID>" + id + "</OBJECT_ID></metadata><data><meanElements><EPOCH>" + epoch +
           "</EPOCH>" + elements + "</meanElements><tleParameters><NORAD_CAT_ID>" + number +
           "</NORAD_CAT_ID><MEAN_MOTION_DOT>" + ndot + "</MEAN_MOTION_DOT></tleParameters></data></segment></body></omm>";
}

const std::string XML =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<ndm>\n" +
    xml_omm("NAVSAT 36", "2003-048C", "2008-05-19T14:30:48.615840",
            "<MEAN_MOTION>2.00575294</MEAN_MOTION><ECCENTRICITY>0.0060809</ECCENTRICITY><INCLINATION>64.5053"
            "</INCLINATION><RA_OF_ASC_NODE>174.9255</RA_OF_ASC_NODE><ARG_OF_PERICENTER>71.1852</ARG_OF_PERICENTER>"
            "<MEAN_ANOMALY>107.2231</MEAN_ANOMALY>",
            "99985", "-.00000004") +
    "\n" +
    xml_omm("GEOCOM 66", "2003-066A", "2008-05-18T14:49:10.167456",
            "<MEAN_MOTION>1.00272049</MEAN_MOTION><ECCENTRICITY>0.0005699</ECCENTRICITY><INCLINATION>0"
            "</INCLINATION><RA_OF_ASC_NODE>229.8011</RA_OF_ASC_NODE><ARG_OF_PERICENTER>270.1479</ARG_OF_PERICENTER>"
            "<MEAN_ANOMALY>320.9337</MEAN_ANOMALY>",
            "49595", "0.00000019") +
    "\n" +
    xml_omm("LEO SAT 2356", "1986-012D", "2008-05-18T15:07:08.974272",
            "<MEAN_MOTION>\n  13.85957255\n</MEAN_MOTION><ECCENTRICITY>0.0043946</ECCENTRICITY><INCLINATION>51.64"
            "</INCLINATION><RA_OF_ASC_NODE>187.1059</RA_OF_ASC_NODE><ARG_OF_PERICENTER>130.2951</ARG_OF_PERICENTER>"
            "<MEAN_ANOMALY><![CDATA[254.9118]]></MEAN_ANOMALY>",
            "27997", "0.00000021") +
    "\n</ndm>\n";

using SearchRun = ProgramRun;

const std::string& catalogue_path()
{
    static const std::string path = process_scratch_directory() + "catalogue";
    return path;
}

SearchRun search_text(const std::string& text, OutputFormat format = OutputFormat::text)
{
    std::FILE* f = std::fopen(catalogue_path().c_str(), "wb");
    std::fwrite(text.data(), 1, text.size(), f);
    std::fclose(f);
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    const int status =
        search_satellite_field(satellite_scenario(), {catalogue_path().c_str(), format, out, err});
    return {status, temporary_file_contents(out), temporary_file_contents(err)};
}

std::string crlf_with_byte_order_mark(const std::string& text)
{
    std::string out = "\xEF\xBB\xBF";
    for (const char ch : text) {
        out += ch == '\n' ? "\r\n" : std::string(1, ch);
    }
    return out;
}

}  // namespace

// Each form of the same three sets prints the rows of the three-line sets
// byte for byte, in text and in CSV (the place at full precision): an epoch,
// element or designation read otherwise in one form shows here. A form not
// recognised would print no rows and messages.
TEST(SatelliteCatalogue, EveryFormGivesTheRowsOfItsThreeLineTwin)
{
    const SearchRun reference = search_text(THREE_LINE);
    const SearchRun reference_csv = search_text(THREE_LINE, OutputFormat::csv);
    ASSERT_EQ(reference.err, "");
    ASSERT_NE(reference.out.find("|LEO SAT 2356  |86012D|27997U|"), std::string::npos);
    ASSERT_NE(reference.out.find("|NAVSAT 36     |03048C|99985U|"), std::string::npos);
    ASSERT_NE(reference.out.find("from         3  in list"), std::string::npos);

    const std::string forms[] = {CSV, JSON, XML, crlf_with_byte_order_mark(CSV), crlf_with_byte_order_mark(JSON),
                                 crlf_with_byte_order_mark(XML), "\n  \n" + JSON};
    for (const std::string& form : forms) {
        const SearchRun text = search_text(form);
        EXPECT_EQ(text.status, 0) << form;
        EXPECT_EQ(text.err, "") << form;
        EXPECT_EQ(text.out, reference.out) << form;
        EXPECT_EQ(search_text(form, OutputFormat::csv).out, reference_csv.out) << form;
    }
}

// A bad record is reported at its line (CSV) or record (JSON, XML), counted
// and skipped; the others still give their rows.
TEST(SatelliteCatalogue, BadRecordsAreReportedWhereTheyStandAndCounted)
{
    struct Case {
        std::string catalogue;
        const char* message;
        const char* count;
    };
    std::string bad_csv = CSV;
    bad_csv.replace(bad_csv.find("2.00575294"), 10, "2.0057529x");
    std::string bad_json = JSON;
    bad_json.replace(bad_json.find(" {\"NORAD_CAT_ID\""), 1, "17, ");
    std::string bad_xml = XML;
    bad_xml.replace(bad_xml.find("<NORAD_CAT_ID>49595</NORAD_CAT_ID>"), 34, "");
    std::string open_quote = CSV;
    open_quote.replace(open_quote.find("\"NAVSAT 36\""), 11, "\"NAVSAT 36");
    const Case cases[] = {
        {bad_csv, ":2: element set not evaluated: MEAN_MOTION is not a number\n", "from         3"},
        {open_quote, ":2: element set not evaluated: a quoted field is not closed\n", "from         3"},
        {bad_json, ": record 2: element set not evaluated: the record is not a JSON object\n", "from         4"},
        {bad_xml, ": record 2: element set not evaluated: NORAD_CAT_ID is missing\n", "from         3"},
        {"<omm>" + XML.substr(XML.rfind("<body>"), XML.rfind("</omm>") - XML.rfind("<body>")) + "</omm>", "",
         "from         1"},
    };
    for (const Case& c : cases) {
        const SearchRun run = search_text(c.catalogue);
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(run.err, c.message[0] == '\0' ? "" : "satfield: " + catalogue_path() + c.message);
        EXPECT_NE(run.out.find(c.count), std::string::npos) << run.out;
        EXPECT_NE(run.out.find("|LEO SAT 2356  |86012D|27997U|"), std::string::npos);
    }
}

// The lines of THREE_LINE but those numbered in `dropped` (1-based).
std::string without_lines(std::initializer_list<int> dropped, const std::string& text = THREE_LINE)
{
    std::string out;
    int number = 0;
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t end = text.find('\n', at) + 1;
        ++number;
        if (std::find(dropped.begin(), dropped.end(), number) == dropped.end()) {
            out += text.substr(at, end - at);
        }
        at = end;
    }
    return out;
}

std::string with_text_at(std::string text, const char* old_text, const char* new_text)
{
    text.replace(text.find(old_text), std::string_view(old_text).size(), new_text);
    return text;
}

// Element sets are told apart by their lines' "1 " and "2 ": a set that
// lacks a line is reported once at its first line and costs only itself,
// sets without name lines (two-line files) are all read, and a set with a
// field that may not be read is reported at that line, counted and not
// evaluated. A wrong checksum is reported and the set still listed.
TEST(SatelliteCatalogue, DamagedElementSetsCostOnlyThemselves)
{
    struct Case {
        const char* what;
        std::string catalogue;
        const char* message;  // after "satfield: PATH", or "" for none
        const char* count;
        bool navsat_listed;
    };
    const Case cases[] = {
        {"line 2 missing", without_lines({3}), ":1: element set without its line 2 (line 2 is its line 1), not counted\n",
         "from         2", false},
        {"line 1 missing", without_lines({5}), ":4: element set without its line 1 (line 5 is its line 2), not counted\n",
         "from         2", true},
        {"both element lines missing", without_lines({2, 3}), ":1: name line without its element lines, not counted\n",
         "from         2", false},
        {"name line missing", without_lines({4}), "", "from         3", true},
        {"two-line sets", without_lines({1, 4, 7}), "", "from         3", true},
        {"line 2 of another number", with_text_at(THREE_LINE, "2 99985", "2 99986"),
         ":1: element set not read: line 1 (line 2) is of catalogue number 99985, the line 2 after it (line 3) of "
         "99986; not counted\n",
         "from         2", false},
        {"eccentricity of letters", with_text_at(THREE_LINE, "0060809", "ABCDEFG"),
         ":3: element set not evaluated: line 2 columns 27-33, the eccentricity, \"ABCDEFG\" is not seven digits\n",
         "from         3", false},
        {"inclination of letters", with_text_at(THREE_LINE, " 64.5053", "      qq"),
         ":3: element set not evaluated: line 2 columns 9-16, the inclination, \"      qq\" is not a number\n",
         "from         3", false},
        {"epoch day 000", with_text_at(THREE_LINE, "08140.60472935", "08000.60472935"),
         ":2: element set not evaluated: line 1 columns 21-32, the epoch day, \"000.60472935\" is not a day of 2008 (1 "
         "to below 367)\n",
         "from         3", false},
        {"wrong checksum", with_text_at(THREE_LINE, "0  7746", "0  7745"),
         ":2: line 1 checksum 5, its columns 1-68 give 6 (the set is evaluated all the same)\n", "from         3", true},
    };
    for (const Case& c : cases) {
        const SearchRun run = search_text(c.catalogue);
        EXPECT_EQ(run.status, 0) << c.what;
        EXPECT_EQ(run.err, c.message[0] == '\0' ? "" : "satfield: " + catalogue_path() + c.message) << c.what;
        EXPECT_NE(run.out.find(c.count), std::string::npos) << c.what << ": " << run.out;
        EXPECT_NE(run.out.find("|86012D|27997U|"), std::string::npos) << c.what;
        EXPECT_EQ(run.out.find("|03048C|99985U|") != std::string::npos, c.navsat_listed) << c.what;
    }
    // The set without its name line lists with a blank name.
    EXPECT_NE(search_text(without_lines({1})).out.find("|              |03048C|99985U|"), std::string::npos);
}

// OMM metadata the search cannot use (a frame, centre, theory or time
// system of its own) and a keyword given twice refuse their record, named
// with the keyword and its value, in every form; the other records still
// give their rows. An epoch in TAI gives the row of the same instant in UTC.
TEST(SatelliteCatalogue, OmmMetadataIsCheckedInEveryForm)
{
    struct Case {
        const char* what;
        std::string catalogue;
        const char* message;  // after "satfield: PATH", or "" for none
    };
    std::string frames = CSV;
    frames.replace(frames.find("CLASSIFICATION_TYPE\n"), 20, "CLASSIFICATION_TYPE,REF_FRAME\n");
    frames.replace(frames.find(",U\n"), 3, ",U,TEME\n");
    frames.replace(frames.find(",U\n"), 3, ",U,GCRF\n");
    frames.replace(frames.find(",U\n"), 3, ",U,TEME\n");
    const std::string second_json = "{\"NORAD_CAT_ID\":\"49595\",";
    const std::string second_xml = "<OBJECT_NAME>GEOCOM 66</OBJECT_NAME>";
    const Case cases[] = {
        {"CSV frame", frames, ":3: element set not evaluated: REF_FRAME \"GCRF\" is not TEME, the frame of SGP4's elements\n"},
        {"JSON centre", with_text_at(JSON, second_json.c_str(), "{\"CENTER_NAME\":\"MOON\",\"NORAD_CAT_ID\":\"49595\","),
         ": record 2: element set not evaluated: CENTER_NAME \"MOON\" is not EARTH\n"},
        {"JSON time system", with_text_at(JSON, second_json.c_str(), "{\"TIME_SYSTEM\":\"UT1\",\"NORAD_CAT_ID\":\"49595\","),
         ": record 2: element set not evaluated: TIME_SYSTEM \"UT1\" is not UTC, TAI, TT or GPS\n"},
        {"JSON key twice", with_text_at(JSON, second_json.c_str(), "{\"MEAN_MOTION\":\"2.5\",\"NORAD_CAT_ID\":\"49595\","),
         ": record 2: element set not evaluated: MEAN_MOTION is given twice\n"},
        {"XML theory",
         with_text_at(XML, second_xml.c_str(),
                      "<OBJECT_NAME>GEOCOM 66</OBJECT_NAME><MEAN_ELEMENT_THEORY>SGP4-XP</MEAN_ELEMENT_THEORY>"),
         ": record 2: element set not evaluated: MEAN_ELEMENT_THEORY \"SGP4-XP\" is not SGP4 or SGP/SGP4\n"},
        {"XML keyword twice",
         with_text_at(XML, "<INCLINATION>0</INCLINATION>", "<INCLINATION>0</INCLINATION><INCLINATION>5</INCLINATION>"),
         ": record 2: element set not evaluated: INCLINATION is given twice\n"},
        {"XML inclination 400", with_text_at(XML, "<INCLINATION>0</INCLINATION>", "<INCLINATION>400</INCLINATION>"),
         ": record 2: element set not evaluated: INCLINATION \"400\" is not 0 to 180 deg\n"},
        {"JSON TAI epoch",
         with_text_at(JSON, "\"EPOCH\":\"2008-05-18T15:07:08.974272\"",
                      "\"TIME_SYSTEM\":\"TAI\",\"EPOCH\":\"2008-05-18T15:07:41.974272\""),
         ""},
    };
    const SearchRun reference = search_text(THREE_LINE);
    for (const Case& c : cases) {
        const SearchRun run = search_text(c.catalogue);
        EXPECT_EQ(run.status, 0) << c.what;
        EXPECT_EQ(run.err, c.message[0] == '\0' ? "" : "satfield: " + catalogue_path() + c.message) << c.what;
        EXPECT_NE(run.out.find("from         3  in list"), std::string::npos) << c.what << ": " << run.out;
        if (c.message[0] == '\0') {
            EXPECT_EQ(run.out, reference.out) << c.what;
        }
        EXPECT_NE(run.out.find("|LEO SAT 2356  |86012D|27997U|"), std::string::npos) << c.what;
    }
}

// A catalogue whose path ends in .gz is read through zlib: the same report
// as the plain file's.
TEST(SatelliteCatalogue, CompressedCataloguesReadAsThePlainOnes)
{
    const std::string path = process_scratch_directory() + "catalogue.tle.gz";
    for (const std::string& text : {THREE_LINE, JSON, without_lines({1, 4, 7})}) {
        gzFile gz = gzopen(path.c_str(), "wb");
        ASSERT_NE(gz, nullptr);
        ASSERT_EQ(gzwrite(gz, text.data(), static_cast<unsigned>(text.size())), static_cast<int>(text.size()));
        ASSERT_EQ(gzclose(gz), Z_OK);
        std::FILE* out = std::tmpfile();
        std::FILE* err = std::tmpfile();
        const int status = search_satellite_field(satellite_scenario(), {path.c_str(), OutputFormat::text, out, err});
        const std::string compressed = temporary_file_contents(out);
        EXPECT_EQ(status, 0);
        EXPECT_EQ(temporary_file_contents(err), "");
        const std::string plain = search_text(text).out;
        EXPECT_EQ(compressed, plain);
        EXPECT_NE(compressed.find("from         3  in list"), std::string::npos);
    }
}

// Names are whole in CSV and JSON, and cut to the text report's 14 bytes on
// a character's boundary: "ОБЪЕКТ-" is 13 bytes of UTF-8 and the "А" after
// it would end at byte 15, so the column holds the 13 and a blank.
TEST(SatelliteCatalogue, NamesAreWholeInCsvAndJson)
{
    struct Case {
        const char* what;
        std::string catalogue;
        const char* name;       // whole
        const char* text_name;  // the text report's column
    };
    const char* cyrillic = "\xD0\x9E\xD0\x91\xD0\xAA\xD0\x95\xD0\x9A\xD0\xA2-\xD0\x90 \xD0\xA2\xD0\x95\xD0\xA1\xD0\xA2";
    const Case cases[] = {
        {"long name line", with_text_at(THREE_LINE, "LEO SAT 2356\n", "LEO SAT 2356 ATMOSPHERIC SOUNDER   \n"),
         "LEO SAT 2356 ATMOSPHERIC SOUNDER", "LEO SAT 2356 A"},
        {"Cyrillic OBJECT_NAME in CSV", with_text_at(CSV, "\"LEO SAT 2356\"", (std::string("\"") + cyrillic + "\"").c_str()),
         cyrillic, "\xD0\x9E\xD0\x91\xD0\xAA\xD0\x95\xD0\x9A\xD0\xA2- "},
        {"Cyrillic OBJECT_NAME in JSON", with_text_at(JSON, "\"LEO SAT 2356\"", (std::string("\"") + cyrillic + "\"").c_str()),
         cyrillic, "\xD0\x9E\xD0\x91\xD0\xAA\xD0\x95\xD0\x9A\xD0\xA2- "},
        {"Cyrillic OBJECT_NAME in XML", with_text_at(XML, "<OBJECT_NAME>LEO SAT 2356<", (std::string("<OBJECT_NAME>") + cyrillic + "<").c_str()),
         cyrillic, "\xD0\x9E\xD0\x91\xD0\xAA\xD0\x95\xD0\x9A\xD0\xA2- "},
    };
    for (const Case& c : cases) {
        const SearchRun text = search_text(c.catalogue);
        EXPECT_NE(text.out.find(std::string("|") + c.text_name + "|86012D|27997U|"), std::string::npos) << c.what << text.out;
        const SearchRun csv = search_text(c.catalogue, OutputFormat::csv);
        EXPECT_NE(csv.out.find(std::string("\n") + c.name + ",86012D,27997U,"), std::string::npos) << c.what << csv.out;
        const SearchRun json = search_text(c.catalogue, OutputFormat::json);
        const nlohmann::json document = nlohmann::json::parse(json.out);
        bool found = false;
        for (const auto& row : document.at("rows")) {
            found = found || row.at("name") == c.name;
        }
        EXPECT_TRUE(found) << c.what << json.out;
    }
}

// A catalogue that cannot be read as a whole stops the search with exit
// status 1, one message and no count line.
TEST(SatelliteCatalogue, UnreadableDocumentsStopTheSearch)
{
    struct Case {
        std::string catalogue;
        const char* reason;
    };
    const Case cases[] = {
        {JSON.substr(0, 200), "not a JSON document: syntax error at byte "},
        {"[]", ""},
        {XML.substr(0, 300), "not an XML document: "},
        {"<?xml version=\"1.0\"?><html/>", "the XML document is neither an <omm> nor an <ndm>"},
        {"OBJECT_NAME,EPOCH,MEAN_MOTION\nX,2008-05-18T00:00:00,15.0\n", "the CSV header line names no ECCENTRICITY column"},
        {"OBJECT_NAME,EPOCH,ECCENTRICITY,INCLINATION\nX,2008-05-18T00:00:00,0.001,51.6\n",
         "the CSV header line names no MEAN_MOTION column"},
        {"OBJECT_NAME,EPOCH,MEAN_MOTION,EPOCH\nX,2008-05-18T00:00:00,15.0,2008-05-19T00:00:00\n",
         "the CSV header line names the EPOCH column twice"},
        {"     1 Ceres            E. Bowell   3.34  0.12 G?\n     2 Pallas           E. Bowell   4.13  0.11\n",
         "it matches no catalogue form (element sets: a line 1 followed by the line 2 of its catalogue number within "
         "the first 100 lines; OMM CSV: a header line of OMM keywords; OMM JSON: an array of objects; OMM XML: <omm> "
         "or <ndm>), not read"},
        {"1 99985U 03048C   08140.60472935\n1 99985U 03048C   08140.60472935\nNAVSAT\n", "it matches no catalogue form"},
    };
    for (const Case& c : cases) {
        const SearchRun run = search_text(c.catalogue);
        if (c.reason[0] == '\0') {
            EXPECT_EQ(run.status, 0);
            EXPECT_NE(run.out.find("from         0  in list"), std::string::npos);
            continue;
        }
        EXPECT_EQ(run.status, 1) << c.catalogue;
        EXPECT_EQ(run.err.rfind("satfield: cannot read " + catalogue_path() + ": " + c.reason, 0), 0u) << run.err;
        EXPECT_EQ(run.out.find("number of objects"), std::string::npos);
    }
}
