#include "pixel_distortion.hpp"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <tuple>
#include <utility>

namespace fieldsearch {

namespace {

// A value and its derivatives along x and y.
struct Sloped {
    double value;
    double dx;
    double dy;
};

// The table's value at (x, y) and its derivatives there (those of the
// bilinear patch the point lies in; zero along an axis held to the edge).
Sloped lookup_sloped(const LookupTable& t, double x, double y)
{
    std::array<int, 2> low{};
    std::array<double, 2> fraction{};
    std::array<double, 2> per_pixel{};  // d index / d (image coordinate), 0 when held
    const std::array<int, 2> size{t.width, t.height};
    for (std::size_t k = 0; k < 2; ++k) {
        const int n = size[k];
        if (n <= 1 || t.image_axis[k] < 0) {
            low[k] = 1;
            continue;
        }
        const double p = t.image_axis[k] == 0 ? x : y;
        double index = t.crpix[k] + (p - t.crval[k]) / t.cdelt[k];
        per_pixel[k] = 1.0 / t.cdelt[k];
        if (!(index > 1.0)) {
            index = 1.0;
            per_pixel[k] = 0.0;
        } else if (!(index < n)) {
            index = n;
            per_pixel[k] = 0.0;
        }
        low[k] = std::min(static_cast<int>(std::floor(index)), n - 1);
        fraction[k] = index - low[k];
    }
    // Values at the 1-based indices (i, j), held to the table.
    const auto at = [&t](int i, int j) {
        i = std::clamp(i, 1, t.width);
        j = std::clamp(j, 1, t.height);
        return t.values[static_cast<std::size_t>(j - 1) * static_cast<std::size_t>(t.width) +
                        static_cast<std::size_t>(i - 1)];
    };
    const double v00 = at(low[0], low[1]);
    const double v10 = at(low[0] + 1, low[1]);
    const double v01 = at(low[0], low[1] + 1);
    const double v11 = at(low[0] + 1, low[1] + 1);
    const double s = fraction[0];
    const double u = fraction[1];
    const double value = (1.0 - s) * (1.0 - u) * v00 + s * (1.0 - u) * v10 + (1.0 - s) * u * v01 + s * u * v11;
    const double d_index0 = ((1.0 - u) * (v10 - v00) + u * (v11 - v01)) * per_pixel[0];
    const double d_index1 = ((1.0 - s) * (v01 - v00) + s * (v11 - v10)) * per_pixel[1];
    Sloped result{value, 0.0, 0.0};
    for (std::size_t k = 0; k < 2; ++k) {
        const double d = k == 0 ? d_index0 : d_index1;
        if (t.image_axis[k] == 0) {
            result.dx += d;
        } else if (t.image_axis[k] == 1) {
            result.dy += d;
        }
    }
    return result;
}

// One polynomial of the SIP at the offsets (u, v), with its derivatives.
Sloped sip_sloped(const std::vector<double>& coefficients, int order, double u, double v)
{
    Sloped result{0.0, 0.0, 0.0};
    for (int p = 0; p <= order; ++p) {
        for (int q = 0; p + q <= order; ++q) {
            const double c = coefficients[static_cast<std::size_t>(p * (order + 1) + q)];
            if (c == 0.0) {
                continue;
            }
            const double up = std::pow(u, p);
            const double vq = std::pow(v, q);
            result.value += c * up * vq;
            if (p > 0) {
                result.dx += c * p * std::pow(u, p - 1) * vq;
            }
            if (q > 0) {
                result.dy += c * q * up * std::pow(v, q - 1);
            }
        }
    }
    return result;
}

// The displacement of a stage at (x, y) with its Jacobian.
struct StageValue {
    std::array<double, 2> shift;
    std::array<double, 4> jacobian;  // d shift_i / d p_j at 2 i + j
};

StageValue detector_stage(const PriorDistortion& d, double x, double y)
{
    StageValue s{{0.0, 0.0}, {0.0, 0.0, 0.0, 0.0}};
    for (std::size_t i = 0; i < 2; ++i) {
        if (d.detector_to_image[i]) {
            const Sloped v = lookup_sloped(*d.detector_to_image[i], x, y);
            s.shift[i] = v.value;
            s.jacobian[2 * i] = v.dx;
            s.jacobian[2 * i + 1] = v.dy;
        }
    }
    return s;
}

StageValue image_stage(const PriorDistortion& d, double x, double y)
{
    StageValue s{{0.0, 0.0}, {0.0, 0.0, 0.0, 0.0}};
    if (d.sip) {
        const double u = x - d.sip->crpix1;
        const double v = y - d.sip->crpix2;
        const Sloped f = sip_sloped(d.sip->a, d.sip->a_order, u, v);
        const Sloped g = sip_sloped(d.sip->b, d.sip->b_order, u, v);
        s.shift = {f.value, g.value};
        s.jacobian = {f.dx, f.dy, g.dx, g.dy};
    }
    for (std::size_t i = 0; i < 2; ++i) {
        if (d.lookup[i]) {
            const Sloped v = lookup_sloped(*d.lookup[i], x, y);
            s.shift[i] += v.value;
            s.jacobian[2 * i] += v.dx;
            s.jacobian[2 * i + 1] += v.dy;
        }
    }
    return s;
}

// The point p with p + shift(p) = target, by Newton's method from the target.
template <class Stage>
std::optional<std::array<double, 2>> inverted(const Stage& stage, double tx, double ty)
{
    constexpr int MAX_ITERATIONS = 60;
    constexpr double TOLERANCE = 1e-9;
    double x = tx;
    double y = ty;
    for (int i = 0; i < MAX_ITERATIONS; ++i) {
        const StageValue s = stage(x, y);
        const double rx = x + s.shift[0] - tx;
        const double ry = y + s.shift[1] - ty;
        if (!std::isfinite(rx) || !std::isfinite(ry)) {
            return std::nullopt;
        }
        if (std::fabs(rx) <= TOLERANCE && std::fabs(ry) <= TOLERANCE) {
            return std::array<double, 2>{x, y};
        }
        const double a = 1.0 + s.jacobian[0];
        const double b = s.jacobian[1];
        const double c = s.jacobian[2];
        const double e = 1.0 + s.jacobian[3];
        const double det = a * e - b * c;
        if (!(std::fabs(det) > 1e-12) || !std::isfinite(det)) {
            return std::nullopt;
        }
        x -= (e * rx - b * ry) / det;
        y -= (a * ry - c * rx) / det;
    }
    return std::nullopt;
}

std::string upper(std::string text)
{
    for (char& c : text) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return text;
}

std::string written(const KeywordCard& card)
{
    return card.keyword + " = " + card.value;
}

// The request of one axis's lookup table from the distortion keyword
// `dis_card` and the record-valued cards of `record_key`.
std::optional<LookupRequest> lookup_request(const KeywordCards& cards, const KeywordCard& dis_card,
                                            const std::string& record_key, int axis, bool detector,
                                            std::string& error)
{
    LookupRequest request{dis_card.keyword, axis, detector, detector ? "D2IMARR" : "WCSDVARR", 0, 0, {0, 1}};
    bool extver_given = false;
    bool naxes_given = false;
    for (const KeywordCard* record : all_cards(cards, record_key)) {
        const std::string text = value_text(record->value);
        const std::size_t colon = text.find(':');
        const std::string field = upper(text.substr(0, std::min(colon, text.size())));
        const double number = colon == std::string::npos ? NAN : value_number(text.substr(colon + 1)).value_or(NAN);
        const bool whole = number == std::floor(number) && std::fabs(number) < 1e6;
        const auto refuse = [&](const std::string& why) {
            error = written(*record) + " (for " + written(dis_card) + ") " + why;
            return std::nullopt;
        };
        if (!is_text_value(record->value) || !whole) {
            return refuse("is not a record 'FIELD: number'");
        }
        const int value = static_cast<int>(number);
        if (field == "EXTVER") {
            request.extver = value;
            extver_given = true;
        } else if (field == "NAXES") {
            if (value < 1 || value > 2) {
                return refuse("gives a table of neither one nor two axes");
            }
            request.naxes = value;
            naxes_given = true;
        } else if (field == "AXIS.1" || field == "AXIS.2") {
            if (value < 1 || value > 2) {
                return refuse("names an image axis other than 1 or 2");
            }
            request.image_axis[field == "AXIS.1" ? 0 : 1] = value - 1;
        } else {
            return refuse("is a field the lookup tables do not use");
        }
    }
    if (!extver_given || !naxes_given) {
        error = written(dis_card) + " needs " + record_key + " records 'EXTVER: n' and 'NAXES: n'";
        return std::nullopt;
    }
    if (request.naxes == 1) {
        request.image_axis[1] = -1;
    }
    return request;
}

bool starts_with(const std::string& text, const char* prefix)
{
    return text.rfind(prefix, 0) == 0;
}

}  // namespace

double lookup_value(const LookupTable& table, double x, double y)
{
    return lookup_sloped(table, x, y).value;
}

bool has_lookup_tables(const PriorDistortion& distortion)
{
    return distortion.detector_to_image[0] || distortion.detector_to_image[1] || distortion.lookup[0] ||
           distortion.lookup[1];
}

std::array<double, 2> corrected_pixel(const PriorDistortion& distortion, double x, double y)
{
    const StageValue detector = detector_stage(distortion, x, y);
    const double xd = x + detector.shift[0];
    const double yd = y + detector.shift[1];
    const StageValue image = image_stage(distortion, xd, yd);
    return {xd + image.shift[0], yd + image.shift[1]};
}

std::optional<std::array<double, 2>> image_pixel(const PriorDistortion& distortion, double qx, double qy)
{
    const auto image = [&distortion](double x, double y) { return image_stage(distortion, x, y); };
    const std::optional<std::array<double, 2>> detector_corrected = inverted(image, qx, qy);
    if (!detector_corrected) {
        return std::nullopt;
    }
    const auto detector = [&distortion](double x, double y) { return detector_stage(distortion, x, y); };
    return inverted(detector, (*detector_corrected)[0], (*detector_corrected)[1]);
}

std::vector<LookupRequest> lookup_requests(const KeywordCards& cards, std::string& error)
{
    std::vector<LookupRequest> requests;
    const KeywordCard* other_prior = nullptr;
    for (const bool detector : {true, false}) {
        for (int axis = 0; axis < 2; ++axis) {
            const std::string n = std::to_string(axis + 1);
            const KeywordCard* dis = find_card(cards, (detector ? "D2IMDIS" : "CPDIS") + n);
            if (dis == nullptr) {
                continue;
            }
            if (upper(value_text(dis->value)) != "LOOKUP") {
                if (detector) {
                    error = written(*dis) + " is a detector-to-image correction other than a lookup table";
                    return {};
                }
                other_prior = dis;
                continue;
            }
            std::optional<LookupRequest> request =
                lookup_request(cards, *dis, (detector ? "D2IM" : "DP") + n, axis, detector, error);
            if (!request) {
                return {};
            }
            requests.push_back(std::move(*request));
        }
    }
    for (const KeywordCard& card : cards) {
        if (starts_with(card.keyword, "CQDIS") && upper(value_text(card.value)) == "LOOKUP") {
            error = written(card) + ": a lookup table after the linear transformation cannot be applied";
            return {};
        }
    }
    if (!requests.empty() && other_prior != nullptr) {
        error = written(*other_prior) + " beside the lookup table of " + requests.front().keyword +
                " cannot be applied";
        return {};
    }
    return requests;
}

std::optional<SipPolynomial> sip_polynomial(const KeywordCards& cards, std::string& error)
{
    const KeywordCard* a_order = find_card(cards, "A_ORDER");
    const KeywordCard* b_order = find_card(cards, "B_ORDER");
    if (a_order == nullptr && b_order == nullptr) {
        return std::nullopt;
    }
    SipPolynomial sip;
    for (const auto& [card, order, coefficients, prefix] :
         {std::tuple{a_order, &sip.a_order, &sip.a, "A_"}, std::tuple{b_order, &sip.b_order, &sip.b, "B_"}}) {
        if (card == nullptr) {
            error = std::string("the SIP polynomial gives ") + (prefix[0] == 'A' ? "no A_ORDER" : "no B_ORDER");
            return std::nullopt;
        }
        const std::optional<double> value = value_number(card->value);
        if (!value || *value < 0.0 || *value > 9.0 || *value != std::floor(*value)) {
            error = written(*card) + " is not an order of 0 to 9";
            return std::nullopt;
        }
        *order = static_cast<int>(*value);
        coefficients->assign(static_cast<std::size_t>((*order + 1) * (*order + 1)), 0.0);
        for (int p = 0; p <= *order; ++p) {
            for (int q = 0; p + q <= *order; ++q) {
                const KeywordCard* c = find_card(cards, prefix + std::to_string(p) + "_" + std::to_string(q));
                if (c == nullptr) {
                    continue;
                }
                const std::optional<double> coefficient = value_number(c->value);
                if (!coefficient) {
                    error = written(*c) + " is not a number";
                    return std::nullopt;
                }
                (*coefficients)[static_cast<std::size_t>(p * (*order + 1) + q)] = *coefficient;
            }
        }
    }
    for (const auto& [key, crpix] : {std::pair{"CRPIX1", &sip.crpix1}, std::pair{"CRPIX2", &sip.crpix2}}) {
        if (const KeywordCard* c = find_card(cards, key)) {
            const std::optional<double> value = value_number(c->value);
            if (!value) {
                error = written(*c) + " is not a number";
                return std::nullopt;
            }
            *crpix = *value;
        }
    }
    return sip;
}

bool is_prior_distortion_keyword(const std::string& keyword)
{
    for (const char* prefix : {"CPDIS", "CPERR", "D2IM", "A_", "B_", "AP_", "BP_"}) {
        if (starts_with(keyword, prefix)) {
            return true;
        }
    }
    // DPj, the records of CPDISj.
    return keyword.size() >= 3 && keyword.compare(0, 2, "DP") == 0 &&
           keyword.find_first_not_of("0123456789", 2) == std::string::npos;
}

}  // namespace fieldsearch
