#include "image_frame.hpp"

#include <fitsio.h>
#include <wcslib/wcs.h>
#include <wcslib/wcsfix.h>
#include <wcslib/wcshdr.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <utility>

#include "angles.hpp"
#include "fits_keywords.hpp"
#include "pixel_distortion.hpp"

namespace fieldsearch {

// Thread safety. The WCS library's transformations treat a wcsprm set up by
// wcsset() as read-only, except for scratch buffers that the distortion
// stages (linprm::tmpcrd, disprm::tmpmem) write during every call, and the
// error record written when messages are enabled. A shared wcsprm is
// therefore not safe for concurrent calls on distorted frames. Each frame
// keeps a pool of set-up copies, each parsed afresh from the header cards: a
// call takes an idle copy from the pool (making one when all are in use) and
// gives it back when done. The pool's mutex guards only the hand-over, so
// threads transform concurrently, each on a copy of its own. The prior
// distortion applied here and the reference system are read-only and shared.
class FrameProjection {
public:
    // The parsed WCS array of one header, with the index of the chosen
    // coordinate description; frees the array on destruction.
    struct WcsArray {
        wcsprm* array = nullptr;
        int count = 0;
        int chosen = -1;

        WcsArray() = default;
        WcsArray(const WcsArray&) = delete;
        WcsArray& operator=(const WcsArray&) = delete;
        ~WcsArray()
        {
            if (array != nullptr) {
                wcsvfree(&count, &array);
            }
        }
        wcsprm* wcs() const { return array + chosen; }
    };

    FrameProjection(std::string header, int chosen, std::unique_ptr<WcsArray> first, PriorDistortion prior,
                    CelestialSystem system)
        : header_(std::move(header)), chosen_(chosen), prior_(std::move(prior)),
          has_prior_(has_lookup_tables(prior_)), system_(system)
    {
        idle_.push_back(std::move(first));
    }

    // The prior distortion applied here, or null when the WCS library
    // applies them all. Read-only: safe from several threads.
    const PriorDistortion* prior() const { return has_prior_ ? &prior_ : nullptr; }

    CelestialSystem system() const { return system_; }

    // A set-up WCS for the caller's use alone, returned to the pool when the
    // handle goes; empty when a copy could not be made.
    class Borrowed {
    public:
        Borrowed(const FrameProjection& owner, std::unique_ptr<WcsArray> wcs) : owner_(owner), wcs_(std::move(wcs)) {}
        Borrowed(const Borrowed&) = delete;
        Borrowed& operator=(const Borrowed&) = delete;
        ~Borrowed()
        {
            if (wcs_) {
                const std::lock_guard<std::mutex> lock(owner_.mutex_);
                owner_.idle_.push_back(std::move(wcs_));
            }
        }
        wcsprm* get() const { return wcs_ ? wcs_->wcs() : nullptr; }

    private:
        const FrameProjection& owner_;
        std::unique_ptr<WcsArray> wcs_;
    };

    Borrowed borrow() const
    {
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            if (!idle_.empty()) {
                std::unique_ptr<WcsArray> wcs = std::move(idle_.back());
                idle_.pop_back();
                return Borrowed(*this, std::move(wcs));
            }
        }
        return Borrowed(*this, parse_copy());
    }

private:
    std::unique_ptr<WcsArray> parse_copy() const;

    const std::string header_;
    const int chosen_;
    const PriorDistortion prior_;
    const bool has_prior_;
    const CelestialSystem system_;
    mutable std::mutex mutex_;
    mutable std::vector<std::unique_ptr<WcsArray>> idle_;
};

namespace {

// The WCS library's mark of a value not given (wcsmath.h, whose macros
// would clash with the core's constants).
constexpr double WCS_UNDEFINED = 987654321.0e99;

using WcsArray = FrameProjection::WcsArray;

// Outcome of reading one HDU; no_celestial_wcs lets the file reader go on to
// the image extensions.
enum class Problem { none, no_celestial_wcs, other };

struct HduFrame {
    std::optional<ImageFrame> frame;
    std::string error;  // without the file name
    Problem problem;
};

HduFrame refusal(std::string error, Problem problem = Problem::other)
{
    return {std::nullopt, std::move(error), problem};
}

ImageFrameResult failure(const std::string& name, const std::string& error, int status)
{
    return {std::nullopt, name + ": " + error, status};
}

std::string fits_status_text(int status)
{
    char text[FLEN_STATUS] = {};
    fits_get_errstatus(status, text);
    return text;
}

struct FitsCloser {
    void operator()(fitsfile* f) const
    {
        int status = 0;
        fits_close_file(f, &status);
    }
};
using FitsFile = std::unique_ptr<fitsfile, FitsCloser>;

// The header cards of the current HDU, END included (those of the image for
// a tile-compressed one).
std::optional<std::string> header_cards(fitsfile* f, int& status)
{
    int compressed = fits_is_compressed_image(f, &status);
    char* text = nullptr;
    int count = 0;
    if (compressed != 0) {
        fits_convert_hdr2str(f, 0, nullptr, 0, &text, &count, &status);
    } else {
        fits_hdr2str(f, 0, nullptr, 0, &text, &count, &status);
    }
    if (status != 0 || text == nullptr) {
        if (text != nullptr) {
            fits_free_memory(text, &status);
        }
        return std::nullopt;
    }
    std::string cards(text);
    int ignored = 0;
    fits_free_memory(text, &ignored);
    return cards;
}

// True for the keywords of a world coordinate system and its distortions.
bool is_wcs_keyword(const std::string& keyword)
{
    for (const char* prefix : {"CTYPE", "CRPIX", "CRVAL", "CDELT", "CROTA", "CUNIT", "CD", "PC", "PV", "PS", "LONPOLE",
                               "LATPOLE", "RADESYS", "RADECSYS", "EQUINOX", "EPOCH", "WCSAXES", "A_", "B_", "AP_",
                               "BP_", "DP", "DQ", "MJD", "DATE"}) {
        if (keyword.rfind(prefix, 0) == 0) {
            return true;
        }
    }
    return false;
}

// The cards as the WCS library is given them: each as "KEYWORD = value"
// with the value CFITSIO read from it (numbers, texts in their quotes,
// logicals), comments and commentary cards left out, then END. The
// library's own parser stumbles on what follows a value on some cards (it
// has followed null pointers), so it sees only values already read. A WCS
// keyword whose value is neither a text, a logical nor a number is an
// error; other keywords with such values are left out. With
// `hide_prior_distortion` the keywords of the distortions applied here are
// left out too, and CTYPEi lose their "-SIP".
std::string canonical_cards(const KeywordCards& cards, bool hide_prior_distortion, std::string& error)
{
    std::string out;
    for (const KeywordCard& card : cards) {
        if (hide_prior_distortion && is_prior_distortion_keyword(card.keyword)) {
            continue;
        }
        std::string text = card.value;
        bool usable = !text.empty() && (is_text_value(text) || text == "T" || text == "F");
        if (!usable && !text.empty()) {
            const std::optional<double> number = value_number(text);
            usable = number.has_value();
            if (usable) {
                std::replace(text.begin(), text.end(), 'D', 'E');
                std::replace(text.begin(), text.end(), 'd', 'e');
            }
        }
        // The counts of axes size the library's arrays: whole numbers of
        // at most 99 only.
        if (usable && (card.keyword == "NAXIS" || card.keyword.rfind("WCSAXES", 0) == 0)) {
            const std::optional<double> count = value_number(text);
            if (!count || !(*count >= 0.0 && *count <= 99.0 && *count == std::floor(*count))) {
                error = card_place(card) + ": " + card.keyword + " is not a count of axes";
                return {};
            }
        }
        if (!usable) {
            if (is_wcs_keyword(card.keyword)) {
                error = card_place(card) + ": " + card.keyword + " has no value the WCS can use";
                return {};
            }
            continue;
        }
        if (hide_prior_distortion && card.keyword.rfind("CTYPE", 0) == 0 && is_text_value(text)) {
            std::string type = value_text(text);
            if (type.size() > 4 && type.compare(type.size() - 4, 4, "-SIP") == 0) {
                text = "'" + type.substr(0, type.size() - 4) + "'";
            }
        }
        std::string line = card.keyword;
        line.resize(8, ' ');
        line += "= " + text;
        line.resize(80, ' ');
        out += line;
    }
    std::string end = "END";
    end.resize(80, ' ');
    return out + end;
}

// Parses the header's WCS descriptions and sets up the one at `chosen`
// (-1: the primary description when celestial, else the first celestial
// one). Null with `error` set when there is none or the library rejects it.
std::unique_ptr<WcsArray> parse_wcs(const std::string& cards, int chosen, std::string& error, Problem& problem)
{
    auto parsed = std::make_unique<WcsArray>();
    std::string text = cards;
    const int card_count = static_cast<int>(text.size() / 80);
    int rejected = 0;
    const int status = wcspih(text.data(), card_count, WCSHDR_all, 0, &rejected, &parsed->count, &parsed->array);
    if (status != 0) {
        parsed->array = nullptr;
        parsed->count = 0;
        error = "the WCS library cannot parse the header: " + std::string(wcshdr_errmsg[status]);
        problem = Problem::other;
        return nullptr;
    }
    std::string first_failure;
    for (int i = 0; i < parsed->count; ++i) {
        if (chosen >= 0 && i != chosen) {
            continue;
        }
        wcsprm* wcs = parsed->array + i;
        // Unit aliases first; the translation of the old NCP and GLS
        // projections sets the WCS up itself, so it comes after a first
        // wcsset() has accepted it.
        unitfix(0, wcs);
        int set_status = wcsset(wcs);
        if (set_status == 0 && celfix(wcs) == FIXERR_SUCCESS) {
            set_status = wcsset(wcs);
        }
        if (set_status != 0) {
            // A rejected primary description is an error even when an
            // alternate one would do.
            const bool primary = wcs->alt[0] == ' ' || wcs->alt[0] == '\0';
            if (first_failure.empty() || primary) {
                first_failure = "the WCS library rejects the world coordinate system: " +
                                std::string(wcs_errmsg[set_status]);
            }
            if (primary || chosen >= 0) {
                error = first_failure;
                problem = Problem::other;
                return nullptr;
            }
            continue;
        }
        if (wcs->lng < 0 || wcs->lat < 0) {
            continue;
        }
        // The primary description when it is celestial, else the first that is.
        if (chosen >= 0 || wcs->alt[0] == ' ' || wcs->alt[0] == '\0') {
            parsed->chosen = i;
            break;
        }
        if (parsed->chosen < 0) {
            parsed->chosen = i;
        }
    }
    if (parsed->chosen < 0) {
        error = first_failure.empty() ? "no celestial world coordinate system in the header" : first_failure;
        problem = first_failure.empty() ? Problem::no_celestial_wcs : Problem::other;
        return nullptr;
    }
    return parsed;
}

// The reference system of the WCS, or `error` saying why it is none we
// take. Without RADESYS the default of the FITS WCS paper on celestial
// coordinates applies: ICRS when there is no EQUINOX either, FK4 for an
// EQUINOX before 1984, FK5 from 1984 on. FK5 must be at the equinox J2000,
// FK4 at B1950.
std::optional<CelestialSystem> reference_system(const wcsprm* wcs, std::string& error)
{
    const std::string lng_type(wcs->lngtyp);
    if (lng_type != "RA") {
        error = "the celestial coordinates are " + lng_type + ", not right ascension and declination";
        return std::nullopt;
    }
    std::string system(wcs->radesys);
    while (!system.empty() && system.back() == ' ') {
        system.pop_back();
    }
    const bool has_equinox = wcs->equinox != WCS_UNDEFINED && std::isfinite(wcs->equinox);
    if (system.empty()) {
        if (!has_equinox) {
            return CelestialSystem::icrs;
        }
        system = wcs->equinox < 1984.0 ? "FK4" : "FK5";
    }
    if (system == "ICRS") {
        return CelestialSystem::icrs;
    }
    char equinox[64];
    std::snprintf(equinox, sizeof equinox, "%.6g", has_equinox ? wcs->equinox : 0.0);
    if (system == "FK5") {
        if (!has_equinox || wcs->equinox == 2000.0) {
            return CelestialSystem::fk5_j2000;
        }
        error = "RADESYS = 'FK5' with EQUINOX = " + std::string(equinox) + " is not at the equinox J2000";
        return std::nullopt;
    }
    if (system == "FK4") {
        if (!has_equinox || wcs->equinox == 1950.0) {
            return CelestialSystem::fk4_b1950;
        }
        error = "RADESYS = 'FK4' with EQUINOX = " + std::string(equinox) + " is not at the equinox B1950";
        return std::nullopt;
    }
    error = "RADESYS = '" + system + "' is none of ICRS, FK5 (J2000) and FK4 (B1950)";
    return std::nullopt;
}

// An error when the linear transformation of the WCS has no finite inverse
// or makes one pixel step wider than 180 degrees, naming its keywords.
std::string linear_transformation_error(const wcsprm* wcs)
{
    const linprm& lin = wcs->lin;
    std::array<double, 4> m{};
    for (int i = 0; i < 2; ++i) {
        for (int j = 0; j < 2; ++j) {
            m[static_cast<std::size_t>(2 * i + j)] = lin.cdelt[i] * lin.pc[2 * i + j];
        }
    }
    const char* keywords = (wcs->altlin & 2) != 0   ? "CD1_1, CD1_2, CD2_1 and CD2_2"
                           : (wcs->altlin & 4) != 0 ? "CDELT1, CDELT2 and CROTA2"
                                                    : "CDELT1, CDELT2 and PCi_j";
    const double det = m[0] * m[3] - m[1] * m[2];
    bool finite = std::isfinite(det) && det != 0.0;
    for (const double e : m) {
        finite = finite && std::isfinite(e) && std::isfinite(e / det);
    }
    if (!finite) {
        return std::string(keywords) + " give a matrix without a finite inverse";
    }
    for (int j = 0; j < 2; ++j) {
        if (std::hypot(m[static_cast<std::size_t>(j)], m[static_cast<std::size_t>(2 + j)]) > 180.0) {
            return std::string(keywords) + " make one pixel wider than 180 degrees";
        }
    }
    return "";
}

// True for the keywords of the SIP distortion: A_ORDER, A_p_q and their B,
// AP and BP kin (the keyword columns of a card, blanks included).
bool is_sip_keyword(const std::string& keyword)
{
    for (const char* prefix : {"A_", "B_", "AP_", "BP_"}) {
        if (keyword.rfind(prefix, 0) == 0) {
            return true;
        }
    }
    return false;
}

// A message naming the first card whose value CFITSIO cannot split from its
// comment (a text without its closing quote, say), or empty. The WCS
// library's parser overruns its buffers on such a card, so the cards are
// checked before it sees them.
std::string malformed_card(const std::string& cards)
{
    for (std::size_t at = 0; at + 80 <= cards.size(); at += 80) {
        std::string card = cards.substr(at, 80);
        if (card.compare(0, 3, "END") == 0 && card.find_first_not_of(' ', 3) == std::string::npos) {
            break;
        }
        char value[FLEN_VALUE] = {};
        char comment[FLEN_COMMENT] = {};
        int status = 0;
        fits_parse_value(card.data(), value, comment, &status);
        if (status != 0) {
            fits_clear_errmsg();
            return "header card " + std::to_string(at / 80 + 1) + " is malformed: " + fits_status_text(status);
        }
        // A distortion coefficient or order whose value is not a number
        // makes the WCS library follow a null pointer: refuse it first.
        if (card.compare(8, 2, "= ") == 0 && is_sip_keyword(card.substr(0, 8))) {
            // FITS may write the exponent with a D.
            std::replace(std::begin(value), std::end(value), 'D', 'E');
            std::replace(std::begin(value), std::end(value), 'd', 'e');
            char* end = nullptr;
            const double number = std::strtod(value, &end);
            // Nothing but blanks or a comment may follow the number on the card.
            const std::size_t number_start = card.find_first_not_of(' ', 10);
            const std::size_t number_end = card.find_first_of(" /", number_start);
            const std::size_t after = number_end == std::string::npos ? std::string::npos
                                                                      : card.find_first_not_of(' ', number_end);
            const bool only_comment = after == std::string::npos || card[after] == '/';
            if (value[0] == '\0' || end == value || *end != '\0' || !std::isfinite(number) || !only_comment) {
                return "header card " + std::to_string(at / 80 + 1) + " is malformed: " +
                       card.substr(0, card.find_last_not_of(' ', 7) + 1) + " has no number for its value";
            }
        }
        // CFITSIO lets a text value run to the end of its card; the WCS
        // library would read on into the next cards.
        const std::size_t start = card.find_first_not_of(' ', 10);
        if (card.compare(8, 2, "= ") == 0 && start != std::string::npos && card[start] == '\'') {
            std::size_t i = start + 1;
            while (i < card.size() && !(card[i] == '\'' && (i + 1 == card.size() || card[i + 1] != '\''))) {
                i += (card[i] == '\'') ? 2 : 1;
            }
            if (i >= card.size()) {
                return "header card " + std::to_string(at / 80 + 1) + " is malformed: a text value without its closing quote";
            }
        }
    }
    return "";
}

// A message naming the first card of the header (up to END) that holds a
// byte other than printable ASCII, or empty: the WCS library's parser has
// crashed on such a byte in a keyword.
std::string unprintable_byte(const std::string& cards)
{
    for (std::size_t i = 0; i < cards.size(); ++i) {
        if (i % 80 == 0 && cards.compare(i, 3, "END") == 0 &&
            cards.find_first_not_of(' ', i + 3) >= std::min(cards.size(), i + 80)) {
            break;
        }
        const auto c = static_cast<unsigned char>(cards[i]);
        if (c < 0x20 || c > 0x7e) {
            return "the header holds a byte that is not printable ASCII, in card " + std::to_string(i / 80 + 1);
        }
    }
    return "";
}

// The lookup table the request names, read from its extension of `f` (a
// file in memory of `bytes_held` bytes; 0 for a file on disk, whose reads
// CFITSIO stops at its end); the current HDU is restored. Empty with `error`
// set when the file holds no such table or it cannot serve.
std::optional<LookupTable> read_lookup_table(fitsfile* f, LONGLONG bytes_held, const LookupRequest& request,
                                             std::string& error)
{
    int original = 0;
    fits_get_hdu_num(f, &original);
    const std::string asked = request.keyword + " = 'Lookup' needs the table " + request.extname +
                              " (EXTVER = " + std::to_string(request.extver) + ")";
    int status = 0;
    std::string extname = request.extname;
    fits_movnam_hdu(f, IMAGE_HDU, extname.data(), request.extver, &status);
    if (status != 0) {
        fits_clear_errmsg();
        int ignored = 0;
        fits_movabs_hdu(f, original, nullptr, &ignored);
        error = asked + ", which the file does not hold";
        return std::nullopt;
    }
    // CFITSIO reads past the end of a file in memory that is cut short in
    // the table's data (its own idea of the file's size grows with the
    // headers it reads): the data must lie within the bytes held.
    LONGLONG header_start = 0;
    LONGLONG data_start = 0;
    LONGLONG data_end = 0;
    fits_get_hduaddrll(f, &header_start, &data_start, &data_end, &status);
    if (status != 0 || (bytes_held > 0 && data_end > bytes_held)) {
        fits_clear_errmsg();
        int ignored = 0;
        fits_movabs_hdu(f, original, nullptr, &ignored);
        error = asked + ", whose data the file is cut short of";
        return std::nullopt;
    }
    LookupTable table;
    table.image_axis = request.image_axis;
    int naxis = 0;
    std::array<long, 2> size{1, 1};
    fits_get_img_dim(f, &naxis, &status);
    if (status == 0 && (naxis == 1 || naxis == 2)) {
        fits_get_img_size(f, naxis, size.data(), &status);
    }
    const std::optional<std::string> text = status == 0 ? header_cards(f, status) : std::nullopt;
    // Tables of up to 2^22 values: the largest in use hold some thousands.
    constexpr long LARGEST = 4L * 1024 * 1024;
    if (status != 0 || !text || (naxis != 1 && naxis != 2) || size[0] < 1 || size[1] < 1 ||
        size[0] > LARGEST / size[1] || (request.naxes == 1 && size[1] > 1)) {
        fits_clear_errmsg();
        int ignored = 0;
        fits_movabs_hdu(f, original, nullptr, &ignored);
        error = asked + ", but that extension holds no table of " + std::to_string(request.naxes) +
                (request.naxes == 1 ? " axis" : " axes");
        return std::nullopt;
    }
    table.width = static_cast<int>(size[0]);
    table.height = static_cast<int>(size[1]);
    table.values.assign(static_cast<std::size_t>(size[0] * size[1]), 0.0);
    double null_value = NAN;
    int any_null = 0;
    fits_read_img(f, TDOUBLE, 1, size[0] * size[1], &null_value, table.values.data(), &any_null, &status);
    const KeywordCards cards = keyword_cards(*text);
    bool usable = status == 0;
    for (const double v : table.values) {
        usable = usable && std::isfinite(v);
    }
    const std::array<std::array<const char*, 2>, 3> keys{{{"CRPIX1", "CRPIX2"}, {"CRVAL1", "CRVAL2"}, {"CDELT1", "CDELT2"}}};
    const std::array<std::array<double, 2>*, 3> targets{&table.crpix, &table.crval, &table.cdelt};
    for (std::size_t k = 0; k < keys.size() && usable; ++k) {
        for (std::size_t axis = 0; axis < 2; ++axis) {
            if (const KeywordCard* card = find_card(cards, keys[k][axis])) {
                const std::optional<double> value = value_number(card->value);
                if (!value || (k == 2 && *value == 0.0)) {
                    fits_clear_errmsg();
                    int ignored = 0;
                    fits_movabs_hdu(f, original, nullptr, &ignored);
                    error = asked + ", whose " + written_card(*card) + " cannot serve";
                    return std::nullopt;
                }
                (*targets[k])[axis] = *value;
            }
        }
    }
    fits_clear_errmsg();
    int ignored = 0;
    fits_movabs_hdu(f, original, nullptr, &ignored);
    if (!usable) {
        error = asked + ", whose values cannot be read as finite numbers";
        return std::nullopt;
    }
    return table;
}

// The prior distortion applied here (empty when the WCS library applies
// every distortion itself): the lookup tables the cards ask for, read from
// `f`, and the SIP polynomial beside them.
std::optional<PriorDistortion> prior_distortion(fitsfile* f, LONGLONG bytes_held, const KeywordCards& cards,
                                               std::string& error)
{
    const std::vector<LookupRequest> requests = lookup_requests(cards, error);
    PriorDistortion prior;
    if (!error.empty() || requests.empty()) {
        return prior;
    }
    for (const LookupRequest& request : requests) {
        std::optional<LookupTable> table = read_lookup_table(f, bytes_held, request, error);
        if (!table) {
            return std::nullopt;
        }
        auto& slot = request.detector_to_image ? prior.detector_to_image : prior.lookup;
        slot[static_cast<std::size_t>(request.axis)] = std::move(table);
    }
    const KeywordCard* ctype = find_card(cards, "CTYPE1");
    const std::string type = ctype != nullptr ? value_text(ctype->value) : std::string();
    if (type.size() > 4 && type.compare(type.size() - 4, 4, "-SIP") == 0) {
        prior.sip = sip_polynomial(cards, error);
        if (!error.empty()) {
            return std::nullopt;
        }
    }
    return prior;
}

// Whether the widened footprint lies on the sky, each point at its own
// pixel: at some sampled point, and at every one (a grid of 33 x 33 points
// and 64 along each edge).
struct SkyCoverage {
    bool some;
    bool all;
};

SkyCoverage sky_coverage(const ImageFrame& frame);

// The frame of the current HDU of `f` (a file in memory of `bytes_held`
// bytes, 0 for one on disk), whose keyword cards are those of the HDU, with
// those of the primary header for the keywords it lacks when it says
// INHERIT = T.
HduFrame frame_from_hdu(fitsfile* f, LONGLONG bytes_held, const LeapSecondTable& leap_seconds)
{
    int status = 0;
    int hdu_type = 0;
    fits_get_hdu_type(f, &hdu_type, &status);
    if (status != 0 || hdu_type != IMAGE_HDU) {
        fits_clear_errmsg();
        return refusal("the HDU is a table, not an image", Problem::no_celestial_wcs);
    }
    int naxis = 0;
    fits_get_img_dim(f, &naxis, &status);
    if (status != 0) {
        fits_clear_errmsg();
        return refusal("cannot read NAXIS: " + fits_status_text(status));
    }
    if (naxis == 0) {
        return refusal("the HDU holds no image (NAXIS = 0)", Problem::no_celestial_wcs);
    }
    const std::optional<std::string> text = header_cards(f, status);
    if (!text) {
        fits_clear_errmsg();
        return refusal("cannot read the header: " + fits_status_text(status));
    }
    if (std::string byte_error = unprintable_byte(*text); !byte_error.empty()) {
        return refusal(byte_error);
    }
    if (std::string card_error = malformed_card(*text); !card_error.empty()) {
        return refusal(card_error);
    }
    KeywordCards cards = keyword_cards(*text);
    int hdu = 1;
    fits_get_hdu_num(f, &hdu);
    if (hdu > 1 && inherits_primary(cards)) {
        fits_movabs_hdu(f, 1, nullptr, &status);
        const std::optional<std::string> primary_text = status == 0 ? header_cards(f, status) : std::nullopt;
        int ignored = 0;
        fits_movabs_hdu(f, hdu, nullptr, &ignored);
        if (!primary_text || ignored != 0) {
            fits_clear_errmsg();
            return refusal("INHERIT = T, but the primary header cannot be read");
        }
        if (std::string byte_error = unprintable_byte(*primary_text); !byte_error.empty()) {
            return refusal("the primary header holds" + byte_error.substr(byte_error.find(" a byte")));
        }
        if (std::string card_error = malformed_card(*primary_text); !card_error.empty()) {
            return refusal("primary " + card_error);
        }
        cards = inherited_cards(cards, keyword_cards(*primary_text));
    }
    std::string error;
    std::optional<PriorDistortion> prior = prior_distortion(f, bytes_held, cards, error);
    if (!prior) {
        return refusal(error);
    }
    if (!error.empty()) {
        return refusal(error);
    }
    const std::string wcs_cards = canonical_cards(cards, has_lookup_tables(*prior), error);
    if (!error.empty()) {
        return refusal(error);
    }
    Problem problem = Problem::none;
    std::unique_ptr<WcsArray> wcs = parse_wcs(wcs_cards, -1, error, problem);
    if (!wcs && problem == Problem::no_celestial_wcs) {
        return refusal(error, problem);
    }
    if (naxis != 2) {
        return refusal("NAXIS is " + std::to_string(naxis) + ", not 2");
    }
    if (!wcs) {
        return refusal(error, problem);
    }
    std::array<long, 2> size{};
    fits_get_img_size(f, 2, size.data(), &status);
    if (status != 0 || size[0] < 1 || size[1] < 1 || size[0] > 1000000000L || size[1] > 1000000000L) {
        fits_clear_errmsg();
        return refusal("NAXIS1 and NAXIS2 do not give an image size");
    }
    if (wcs->wcs()->naxis != 2) {
        return refusal("the world coordinate system has " + std::to_string(wcs->wcs()->naxis) + " axes, not 2");
    }
    const std::optional<CelestialSystem> system = reference_system(wcs->wcs(), error);
    if (!system) {
        return refusal(error);
    }
    if (std::string matrix_error = linear_transformation_error(wcs->wcs()); !matrix_error.empty()) {
        return refusal(matrix_error);
    }
    ImageFrame frame{};
    frame.naxis1 = static_cast<int>(size[0]);
    frame.naxis2 = static_cast<int>(size[1]);
    HeaderExposure exposure = header_exposure(cards, leap_seconds);
    if (!exposure.error.empty()) {
        return refusal(exposure.error);
    }
    frame.exposure = exposure.exposure;
    frame.no_instant = std::move(exposure.no_instant);
    frame.site_earth_fixed_km = header_site(cards, error);
    if (!error.empty()) {
        return refusal(error);
    }
    frame.system = *system;
    const int chosen = wcs->chosen;
    frame.projection =
        std::make_shared<const FrameProjection>(wcs_cards, chosen, std::move(wcs), std::move(*prior), *system);
    const SkyCoverage coverage = sky_coverage(frame);
    if (!coverage.some) {
        return refusal("no point of the image lies on the sky through its world coordinate system");
    }
    frame.wholly_on_sky = coverage.all;
    return {std::move(frame), "", Problem::none};
}

ImageFrameResult result_from_hdu(HduFrame hdu, const std::string& name)
{
    if (!hdu.frame) {
        return failure(name, hdu.error, 2);
    }
    return {std::move(hdu.frame), "", 0};
}

// The frame of an open file (in memory of `bytes_held` bytes, or on disk:
// 0): the HDU it is positioned at when `hdu_named`,
// else the primary HDU, or the first image extension with a celestial WCS
// when the primary has none.
ImageFrameResult frame_of_file(fitsfile* f, LONGLONG bytes_held, const std::string& name, bool hdu_named,
                               const LeapSecondTable& leap_seconds)
{
    if (hdu_named) {
        return result_from_hdu(frame_from_hdu(f, bytes_held, leap_seconds), name);
    }
    HduFrame primary = frame_from_hdu(f, bytes_held, leap_seconds);
    if (primary.frame || primary.problem != Problem::no_celestial_wcs) {
        return result_from_hdu(std::move(primary), name);
    }
    int status = 0;
    int hdu_count = 0;
    fits_get_num_hdus(f, &hdu_count, &status);
    for (int hdu = 2; status == 0 && hdu <= hdu_count; ++hdu) {
        int hdu_type = 0;
        fits_movabs_hdu(f, hdu, &hdu_type, &status);
        if (status != 0) {
            break;
        }
        HduFrame extension = frame_from_hdu(f, bytes_held, leap_seconds);
        if (extension.frame || extension.problem != Problem::no_celestial_wcs) {
            return result_from_hdu(std::move(extension), name + "[" + std::to_string(hdu - 1) + "]");
        }
    }
    if (status != 0) {
        const std::string reason = fits_status_text(status);
        fits_clear_errmsg();
        return failure(name, "cannot read the extensions: " + reason, 2);
    }
    return failure(name, "no celestial world coordinate system in the primary HDU or any image extension", 2);
}

// A FITS file in memory of whole blocks, as CFITSIO opens it; closes the
// file and frees the memory when it goes.
class MemoryFile {
public:
    explicit MemoryFile(std::string bytes) : bytes_(std::move(bytes))
    {
        buffer_ = std::malloc(bytes_.size());
        size_ = bytes_.size();
        if (buffer_ != nullptr) {
            std::memcpy(buffer_, bytes_.data(), bytes_.size());
        }
    }
    MemoryFile(const MemoryFile&) = delete;
    MemoryFile& operator=(const MemoryFile&) = delete;
    ~MemoryFile()
    {
        file_.reset();
        std::free(buffer_);
    }

    // Opens the file; the CFITSIO status (0 when open).
    int open(const std::string& name)
    {
        if (buffer_ == nullptr) {
            return MEMORY_ALLOCATION;
        }
        fitsfile* raw = nullptr;
        int status = 0;
        fits_open_memfile(&raw, name.c_str(), READONLY, &buffer_, &size_, 0, nullptr, &status);
        if (status == 0) {
            file_.reset(raw);
        }
        return status;
    }
    fitsfile* get() const { return file_.get(); }

private:
    std::string bytes_;
    void* buffer_ = nullptr;
    std::size_t size_ = 0;
    FitsFile file_;
};

constexpr std::size_t CARD = 80;
constexpr std::size_t BLOCK = 2880;

}  // namespace

std::unique_ptr<WcsArray> FrameProjection::parse_copy() const
{
    std::string error;
    Problem problem = Problem::none;
    return parse_wcs(header_, chosen_, error, problem);
}

ImageFrameResult image_frame_from_file(const std::string& path, const LeapSecondTable& leap_seconds)
{
    fitsfile* raw = nullptr;
    int status = 0;
    fits_open_file(&raw, path.c_str(), READONLY, &status);
    if (status != 0) {
        const std::string reason = fits_status_text(status);
        fits_clear_errmsg();
        // CFITSIO says the same of a missing file and of one that is not
        // FITS: tell them apart by opening the file itself.
        std::array<char, FLEN_FILENAME> root{};
        int root_status = 0;
        fits_parse_rootname(const_cast<char*>(path.c_str()), root.data(), &root_status);
        const std::string file = (root_status == 0 && root[0] != '\0') ? std::string(root.data()) : path;
        std::FILE* plain = std::fopen(file.c_str(), "rb");
        if (plain == nullptr) {
            return failure(path, std::string("cannot open: ") + std::strerror(errno), 1);
        }
        std::fclose(plain);
        return failure(path, "no such HDU or not a FITS file (" + reason + ")", 2);
    }
    const FitsFile f(raw);
    int named_hdu = -99;
    int parse_status = 0;
    fits_parse_extnum(const_cast<char*>(path.c_str()), &named_hdu, &parse_status);
    const bool named = parse_status != 0 || named_hdu != -99;
    fits_clear_errmsg();
    return frame_of_file(f.get(), 0, path, named, leap_seconds);
}

ImageFrameResult image_frame_from_memory(std::string_view bytes, const std::string& name,
                                        const LeapSecondTable& leap_seconds)
{
    std::string padded(bytes);
    padded.resize((padded.size() + BLOCK - 1) / BLOCK * BLOCK, '\0');
    if (padded.empty()) {
        return failure(name, "not a FITS file (it is empty)", 2);
    }
    const auto bytes_held = static_cast<LONGLONG>(padded.size());
    MemoryFile file(std::move(padded));
    if (const int status = file.open(name); status != 0) {
        const std::string reason = fits_status_text(status);
        fits_clear_errmsg();
        return failure(name, "not a FITS file (" + reason + ")", 2);
    }
    return frame_of_file(file.get(), bytes_held, name, false, leap_seconds);
}

ImageFrameResult image_frame_from_header(std::string_view header_cards, const std::string& name,
                                        const LeapSecondTable& leap_seconds)
{
    // Only the cards up to END are the header; a header without END is cut short.
    std::size_t end = std::string_view::npos;
    for (std::size_t at = 0; at + CARD <= header_cards.size(); at += CARD) {
        const std::string_view card = header_cards.substr(at, CARD);
        if (card.substr(0, 8) == "END     " && card.find_first_not_of(' ', 8) == std::string_view::npos) {
            end = at + CARD;
            break;
        }
    }
    if (end == std::string_view::npos) {
        return failure(name, "the header is truncated: no END card", 2);
    }
    for (std::size_t i = 0; i < end; ++i) {
        const unsigned char c = static_cast<unsigned char>(header_cards[i]);
        if (c < 0x20 || c > 0x7e) {
            return failure(name, "the header holds a byte that is not printable ASCII, in card " +
                                     std::to_string(i / CARD + 1), 2);
        }
    }
    // CFITSIO reads the header as a file in memory of whole blocks; the data
    // are never read. An extension's header follows an empty primary one.
    const bool extension = header_cards.substr(0, 8) == "XTENSION";
    std::string bytes;
    if (extension) {
        for (const char* c : {"SIMPLE  =                    T", "BITPIX  =                    8",
                              "NAXIS   =                    0", "EXTEND  =                    T", "END"}) {
            bytes += c;
            bytes.resize((bytes.size() + CARD - 1) / CARD * CARD, ' ');
        }
        bytes.resize(BLOCK, ' ');
    }
    bytes += header_cards.substr(0, end);
    bytes.resize((bytes.size() + BLOCK - 1) / BLOCK * BLOCK, ' ');
    const auto bytes_held = static_cast<LONGLONG>(bytes.size());
    MemoryFile file(std::move(bytes));
    int status = file.open(name);
    if (status == 0 && extension) {
        fits_movabs_hdu(file.get(), 2, nullptr, &status);
    }
    if (status != 0) {
        const std::string reason = fits_status_text(status);
        fits_clear_errmsg();
        return failure(name, "not a FITS header (" + reason + ")", 2);
    }
    return result_from_hdu(frame_from_hdu(file.get(), bytes_held, leap_seconds), name);
}

std::optional<PixelPosition> pixel_position(const ImageFrame& frame, double ra_deg, double dec_deg)
{
    if (!frame.projection || !std::isfinite(ra_deg) || !std::isfinite(dec_deg) || std::fabs(dec_deg) > 90.0) {
        return std::nullopt;
    }
    const FrameProjection& projection = *frame.projection;
    SkyPoint place{ra_deg, dec_deg};
    if (projection.system() != CelestialSystem::fk5_j2000) {
        place = place_in_system(projection.system(), place);
    }
    const FrameProjection::Borrowed borrowed = projection.borrow();
    wcsprm* wcs = borrowed.get();
    if (wcs == nullptr) {
        return std::nullopt;
    }
    std::array<double, 2> world{};
    world[static_cast<std::size_t>(wcs->lng)] = place.ra_deg;
    world[static_cast<std::size_t>(wcs->lat)] = place.dec_deg;
    std::array<double, 2> intermediate{};
    std::array<double, 2> pixel{};
    double phi = 0.0;
    double theta = 0.0;
    int invalid = 0;
    const int status = wcss2p(wcs, 1, 2, world.data(), &phi, &theta, intermediate.data(), pixel.data(), &invalid);
    if (status != 0 || invalid != 0 || !std::isfinite(pixel[0]) || !std::isfinite(pixel[1])) {
        return std::nullopt;
    }
    if (const PriorDistortion* prior = projection.prior()) {
        const std::optional<std::array<double, 2>> image = image_pixel(*prior, pixel[0], pixel[1]);
        if (!image) {
            return std::nullopt;
        }
        pixel = *image;
    }
    return PixelPosition{pixel[0], pixel[1]};
}

std::optional<SkyPoint> sky_position(const ImageFrame& frame, double x, double y)
{
    if (!frame.projection || !std::isfinite(x) || !std::isfinite(y)) {
        return std::nullopt;
    }
    const FrameProjection& projection = *frame.projection;
    std::array<double, 2> pixel{x, y};
    if (const PriorDistortion* prior = projection.prior()) {
        pixel = corrected_pixel(*prior, x, y);
        if (!std::isfinite(pixel[0]) || !std::isfinite(pixel[1])) {
            return std::nullopt;
        }
    }
    const FrameProjection::Borrowed borrowed = projection.borrow();
    wcsprm* wcs = borrowed.get();
    if (wcs == nullptr) {
        return std::nullopt;
    }
    std::array<double, 2> intermediate{};
    std::array<double, 2> world{};
    double phi = 0.0;
    double theta = 0.0;
    int invalid = 0;
    const int status = wcsp2s(wcs, 1, 2, pixel.data(), intermediate.data(), &phi, &theta, world.data(), &invalid);
    const double ra = world[static_cast<std::size_t>(wcs->lng)];
    const double dec = world[static_cast<std::size_t>(wcs->lat)];
    if (status != 0 || invalid != 0 || !std::isfinite(ra) || !std::isfinite(dec) || std::fabs(dec) > 90.0) {
        return std::nullopt;
    }
    if (projection.system() != CelestialSystem::fk5_j2000) {
        return place_from_system(projection.system(), {ra, dec});
    }
    double wrapped = std::fmod(ra, 360.0);
    if (wrapped < 0.0) {
        wrapped += 360.0;
    }
    return SkyPoint{wrapped, dec};
}

std::optional<SkyPoint> own_sky_position(const ImageFrame& frame, double x, double y)
{
    const std::optional<SkyPoint> sky = sky_position(frame, x, y);
    if (!sky) {
        return std::nullopt;
    }
    const std::optional<PixelPosition> back = pixel_position(frame, sky->ra_deg, sky->dec_deg);
    const double tolerance = 1e-6 * (1.0 + std::hypot(x - 0.5 * frame.naxis1, y - 0.5 * frame.naxis2));
    if (!back || !(std::hypot(back->x - x, back->y - y) <= tolerance)) {
        return std::nullopt;
    }
    return sky;
}

namespace {

struct Footprint {
    double centre_x;
    double centre_y;
    double half_width;   // pixels, widened
    double half_height;  // pixels, widened
};

Footprint widened_footprint(const ImageFrame& frame)
{
    return {0.5 * (frame.naxis1 + 1.0), 0.5 * (frame.naxis2 + 1.0), 0.5 * frame.naxis1 * FOOTPRINT_WIDENING,
            0.5 * frame.naxis2 * FOOTPRINT_WIDENING};
}

// Pixel positions along the widened edges, `per_edge` on each, from each corner.
std::vector<PixelPosition> outline_pixels(const ImageFrame& frame, int per_edge)
{
    const Footprint fp = widened_footprint(frame);
    const std::array<PixelPosition, 4> corners{{{fp.centre_x - fp.half_width, fp.centre_y - fp.half_height},
                                                {fp.centre_x + fp.half_width, fp.centre_y - fp.half_height},
                                                {fp.centre_x + fp.half_width, fp.centre_y + fp.half_height},
                                                {fp.centre_x - fp.half_width, fp.centre_y + fp.half_height}}};
    std::vector<PixelPosition> points;
    points.reserve(static_cast<std::size_t>(4 * per_edge));
    for (std::size_t edge = 0; edge < 4; ++edge) {
        const PixelPosition& a = corners[edge];
        const PixelPosition& b = corners[(edge + 1) % 4];
        for (int i = 0; i < per_edge; ++i) {
            const double t = static_cast<double>(i) / per_edge;
            points.push_back({a.x + (b.x - a.x) * t, a.y + (b.y - a.y) * t});
        }
    }
    return points;
}

// Points of the coverage grid per axis, and along each edge.
constexpr int COVERAGE_GRID = 33;
constexpr int COVERAGE_EDGE = 64;

// The pixel of the coverage grid over the widened footprint at (i, j).
PixelPosition grid_pixel(const Footprint& fp, int i, int j)
{
    return {fp.centre_x - fp.half_width + 2.0 * fp.half_width * i / (COVERAGE_GRID - 1),
            fp.centre_y - fp.half_height + 2.0 * fp.half_height * j / (COVERAGE_GRID - 1)};
}

// The outermost point between `inside` (on the sky) and `outside` (off it)
// that lies on the sky, by bisection.
PixelPosition last_on_sky(const ImageFrame& frame, PixelPosition inside, PixelPosition outside)
{
    for (int i = 0; i < 50; ++i) {
        const PixelPosition mid{0.5 * (inside.x + outside.x), 0.5 * (inside.y + outside.y)};
        (sky_position(frame, mid.x, mid.y) ? inside : outside) = mid;
    }
    return inside;
}

double arc_between(const SkyPoint& a, const SkyPoint& b);

// The length on the sky (radians) of the line of pixels from a to b where
// it lies on the sky: the arcs between neighbouring samples both on it, and
// from the last sample on it to where it leaves the sky.
double length_on_sky(const ImageFrame& frame, PixelPosition a, PixelPosition b)
{
    constexpr int SAMPLES = 512;
    const auto at = [&](int i) {
        const double t = static_cast<double>(i) / SAMPLES;
        return PixelPosition{a.x + (b.x - a.x) * t, a.y + (b.y - a.y) * t};
    };
    double length = 0.0;
    std::optional<SkyPoint> previous = sky_position(frame, a.x, a.y);
    for (int i = 1; i <= SAMPLES; ++i) {
        const PixelPosition p = at(i);
        const std::optional<SkyPoint> here = sky_position(frame, p.x, p.y);
        if (previous && here) {
            length += arc_between(*previous, *here);
        } else if (previous || here) {
            const PixelPosition edge = previous ? last_on_sky(frame, at(i - 1), p) : last_on_sky(frame, p, at(i - 1));
            const SkyPoint on = *sky_position(frame, edge.x, edge.y);
            length += arc_between(previous ? *previous : *here, on);
        }
        previous = here;
    }
    return length;
}

double arc_between(const SkyPoint& a, const SkyPoint& b)
{
    return angle_between(unit_vector_from_sky(a.ra_deg, a.dec_deg), unit_vector_from_sky(b.ra_deg, b.dec_deg));
}

SkyCoverage sky_coverage(const ImageFrame& frame)
{
    const Footprint fp = widened_footprint(frame);
    SkyCoverage coverage{false, true};
    const auto note = [&](const PixelPosition& p) {
        const bool on = own_sky_position(frame, p.x, p.y).has_value();
        coverage.some = coverage.some || on;
        coverage.all = coverage.all && on;
    };
    for (int i = 0; i < COVERAGE_GRID; ++i) {
        for (int j = 0; j < COVERAGE_GRID; ++j) {
            note(grid_pixel(fp, i, j));
        }
    }
    for (const PixelPosition& p : outline_pixels(frame, COVERAGE_EDGE)) {
        note(p);
    }
    return coverage;
}

}  // namespace

bool in_widened_footprint(const ImageFrame& frame, const PixelPosition& p)
{
    const Footprint fp = widened_footprint(frame);
    return std::fabs(p.x - fp.centre_x) <= fp.half_width && std::fabs(p.y - fp.centre_y) <= fp.half_height;
}

std::optional<SkyPoint> frame_centre(const ImageFrame& frame)
{
    const Footprint fp = widened_footprint(frame);
    if (const auto centre = sky_position(frame, fp.centre_x, fp.centre_y)) {
        return centre;
    }
    std::optional<SkyPoint> nearest;
    double least = INFINITY;
    for (int i = 0; i < COVERAGE_GRID; ++i) {
        for (int j = 0; j < COVERAGE_GRID; ++j) {
            const PixelPosition p = grid_pixel(fp, i, j);
            const double d = std::hypot(p.x - fp.centre_x, p.y - fp.centre_y);
            if (d < least) {
                if (const auto sky = sky_position(frame, p.x, p.y)) {
                    least = d;
                    nearest = sky;
                }
            }
        }
    }
    return nearest;
}

std::optional<FrameSize> frame_size(const ImageFrame& frame)
{
    const Footprint fp = widened_footprint(frame);
    const PixelPosition left{0.5, fp.centre_y};
    const PixelPosition right{frame.naxis1 + 0.5, fp.centre_y};
    const PixelPosition bottom{fp.centre_x, 0.5};
    const PixelPosition top{fp.centre_x, frame.naxis2 + 0.5};
    const auto l = sky_position(frame, left.x, left.y);
    const auto r = sky_position(frame, right.x, right.y);
    const auto b = sky_position(frame, bottom.x, bottom.y);
    const auto t = sky_position(frame, top.x, top.y);
    if (l && r && b && t) {
        return FrameSize{arc_between(*l, *r) * RAD_TO_DEG * 60.0, arc_between(*b, *t) * RAD_TO_DEG * 60.0};
    }
    return FrameSize{length_on_sky(frame, left, right) * RAD_TO_DEG * 60.0,
                     length_on_sky(frame, bottom, top) * RAD_TO_DEG * 60.0};
}

std::vector<SkyPoint> widened_outline(const ImageFrame& frame, int points_per_edge)
{
    std::vector<SkyPoint> outline;
    if (points_per_edge < 1) {
        return outline;
    }
    for (const PixelPosition& p : outline_pixels(frame, points_per_edge)) {
        if (const auto sky = sky_position(frame, p.x, p.y)) {
            outline.push_back(*sky);
        }
    }
    return outline;
}

BoundingCircle widened_bounding_circle(const ImageFrame& frame)
{
    // The farthest point of the footprint from an inner point lies on its
    // edge (while the footprint stays within a hemisphere about that point).
    // The edge is sampled densely; between two samples it can reach beyond
    // the farther one by no more than the arc joining them, which the margin
    // adds, with a microradian more for rounding.
    constexpr int SAMPLES_PER_EDGE = 64;
    constexpr double ROUNDING_MARGIN_RAD = 1e-6;
    const BoundingCircle whole_sky{unit_vector_from_sky(0.0, 90.0), PI};
    const std::optional<SkyPoint> centre = frame_centre(frame);
    if (!centre) {
        return whole_sky;
    }
    const Vector3 c = unit_vector_from_sky(centre->ra_deg, centre->dec_deg);
    if (!frame.wholly_on_sky) {
        return {c, PI};
    }
    const std::vector<PixelPosition> edge = outline_pixels(frame, SAMPLES_PER_EDGE);
    std::vector<Vector3> points;
    points.reserve(edge.size());
    for (const PixelPosition& p : edge) {
        const auto sky = sky_position(frame, p.x, p.y);
        if (!sky) {
            return {c, PI};
        }
        points.push_back(unit_vector_from_sky(sky->ra_deg, sky->dec_deg));
    }
    double farthest = 0.0;
    double widest_step = 0.0;
    for (std::size_t i = 0; i < points.size(); ++i) {
        farthest = std::max(farthest, angle_between(c, points[i]));
        widest_step = std::max(widest_step, angle_between(points[i], points[(i + 1) % points.size()]));
    }
    const double radius = farthest + widest_step + ROUNDING_MARGIN_RAD;
    if (farthest >= 0.5 * PI || radius >= PI) {
        return {c, PI};
    }
    return {c, radius};
}

}  // namespace fieldsearch
