#include "frame_overlays.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

#include "angles.hpp"
#include "square_field.hpp"

namespace fieldsearch {

namespace {

// A decimal with a fixed number of places (the C locale's point).
std::string fixed(double value, int places)
{
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.*f", places, value);
    return buffer;
}

bool finite_point(double ra, double dec)
{
    return std::isfinite(ra) && std::isfinite(dec);
}

// Right ascension reduced into [0, 360), degrees.
double normalised_ra(double ra_deg)
{
    double ra = std::fmod(ra_deg, 360.0);
    if (ra < 0.0) {
        ra += 360.0;
    }
    return ra >= 360.0 ? 0.0 : ra;
}

// The sky place of the standard coordinates (xi, eta) about (ra0, dec0): the
// inverse of tangent_plane_offsets. Degrees throughout, RA in [0, 360).
SkyPoint sky_point_from_offsets(double xi_deg, double eta_deg, double ra0_deg, double dec0_deg)
{
    const double xi = xi_deg * DEG_TO_RAD;
    const double eta = eta_deg * DEG_TO_RAD;
    const double d0 = dec0_deg * DEG_TO_RAD;
    const double across = std::cos(d0) - eta * std::sin(d0);
    const double ra = ra0_deg + std::atan2(xi, across) * RAD_TO_DEG;
    const double dec = std::atan2(std::sin(d0) + eta * std::cos(d0), std::hypot(xi, across)) * RAD_TO_DEG;
    return {normalised_ra(ra), dec};
}

// The label without its padding blanks; control bytes and bytes outside
// printable ASCII become '?', so that a garbled designation cannot break a
// line of the region file or the XML of the chart.
std::string printable_label(const std::string& label)
{
    std::string out;
    for (const char c : label) {
        const auto byte = static_cast<unsigned char>(c);
        out += (byte >= 0x20 && byte < 0x7f) ? c : '?';
    }
    const std::size_t first = out.find_first_not_of(' ');
    if (first == std::string::npos) {
        return {};
    }
    const std::size_t last = out.find_last_not_of(' ');
    return out.substr(first, last - first + 1);
}

}  // namespace

std::vector<SkyPoint> square_field_outline(double centre_ra_deg, double centre_dec_deg, double half_side_deg,
                                           double widening)
{
    constexpr int POINTS_PER_EDGE = 8;
    const double s = half_side_deg * widening;
    // Corners in the order south-east, north-east, north-west, south-west.
    const double corners[4][2] = {{s, -s}, {s, s}, {-s, s}, {-s, -s}};
    std::vector<SkyPoint> outline;
    outline.reserve(4 * POINTS_PER_EDGE);
    for (int edge = 0; edge < 4; ++edge) {
        const double* from = corners[edge];
        const double* to = corners[(edge + 1) % 4];
        for (int i = 0; i < POINTS_PER_EDGE; ++i) {
            const double t = static_cast<double>(i) / POINTS_PER_EDGE;
            const double xi = from[0] + (to[0] - from[0]) * t;
            const double eta = from[1] + (to[1] - from[1]) * t;
            outline.push_back(sky_point_from_offsets(xi, eta, centre_ra_deg, centre_dec_deg));
        }
    }
    return outline;
}

namespace {

// A label in the region file's string syntax: within braces when it holds
// none, else within the first kind of quote it does not hold; a label that
// holds braces and both quotes has its braces turned into parentheses.
std::string region_string(const std::string& label)
{
    const bool has_brace = label.find_first_of("{}") != std::string::npos;
    if (!has_brace) {
        return "{" + label + "}";
    }
    if (label.find('"') == std::string::npos) {
        return "\"" + label + "\"";
    }
    if (label.find('\'') == std::string::npos) {
        return "'" + label + "'";
    }
    std::string plain = label;
    std::replace(plain.begin(), plain.end(), '{', '(');
    std::replace(plain.begin(), plain.end(), '}', ')');
    return "{" + plain + "}";
}

// A place (J2000) in the region file's system: RA in [0, 360) and Dec, 8
// decimals of a degree (36 microarcseconds).
std::string region_place(CelestialSystem system, double ra_deg, double dec_deg)
{
    if (system != CelestialSystem::fk5_j2000) {
        const SkyPoint p = place_in_system(system, {ra_deg, dec_deg});
        ra_deg = p.ra_deg;
        dec_deg = p.dec_deg;
    }
    return fixed(normalised_ra(ra_deg), 8) + "," + fixed(dec_deg, 8);
}

// The largest distance of the outline from the centre on the tangent plane,
// degrees; 0 without an outline.
double outline_half_extent(const OverlayField& field)
{
    double extent = 0.0;
    for (const SkyPoint& p : field.outline) {
        const TangentPlaneOffsets o = tangent_plane_offsets(p.ra_deg, p.dec_deg, field.centre_ra_deg, field.centre_dec_deg);
        if (o.cos_distance > 0.0 && std::isfinite(o.xi) && std::isfinite(o.eta)) {
            extent = std::max({extent, std::fabs(o.xi), std::fabs(o.eta)});
        }
    }
    return extent;
}

}  // namespace

std::string ds9_region_text(const OverlayField& field, const std::vector<OverlayObject>& objects)
{
    const bool asteroids = field.kind == OverlayObjectKind::asteroid;
    std::string text = "# Region file format: DS9 version 4.1\n";
    const std::string title = printable_label(field.title);
    if (!title.empty()) {
        text += "# " + title + "\n";
    }
    text += "global color=green dashlist=8 3 width=1 font=\"helvetica 10 normal roman\" select=1 highlite=1 dash=0 "
            "fixed=0 edit=1 move=1 delete=1 include=1 source=1\n";
    const CelestialSystem system = field.region_system;
    text += std::string(region_system_name(system)) + "\n";

    std::string polygon;
    int vertices = 0;
    for (const SkyPoint& p : field.outline) {
        if (finite_point(p.ra_deg, p.dec_deg)) {
            polygon += (vertices == 0 ? "" : ",") + region_place(system, p.ra_deg, p.dec_deg);
            ++vertices;
        }
    }
    if (vertices >= 3) {
        text += "polygon(" + polygon + ") # color=yellow width=2\n";
    }

    // Circles of 1/40 of the field's half extent, 2 arcseconds at least.
    const double radius_arcsec = std::max(2.0, outline_half_extent(field) * 3600.0 / 40.0);
    const std::string circle_colour = asteroids ? "green" : "cyan";
    for (const OverlayObject& object : objects) {
        if (!finite_point(object.ra_deg, object.dec_deg)) {
            continue;
        }
        text += "circle(" + region_place(system, object.ra_deg, object.dec_deg) + "," + fixed(radius_arcsec, 3) +
                "\") # color=" + circle_colour;
        const std::string label = printable_label(object.label);
        if (!label.empty()) {
            text += " text=" + region_string(label);
        }
        text += "\n";
        if (object.track_start && object.track_end &&
            finite_point(object.track_start->ra_deg, object.track_start->dec_deg) &&
            finite_point(object.track_end->ra_deg, object.track_end->dec_deg)) {
            text += "line(" + region_place(system, object.track_start->ra_deg, object.track_start->dec_deg) + "," +
                    region_place(system, object.track_end->ra_deg, object.track_end->dec_deg) + ") # line=0 1 color=red\n";
        }
    }
    return text;
}

namespace {

// The chart's page, SVG user units (pixels): the square plot area and what
// lies around it.
constexpr double PAGE_WIDTH = 760.0;
constexpr double PLOT_LEFT = 70.0;
constexpr double PLOT_TOP = 64.0;
constexpr double PLOT_SIZE = 620.0;
constexpr double CAPTION_LINE = 17.0;
// Object labels: font size and the mean advance of one character at it.
constexpr double LABEL_FONT = 11.0;
constexpr double LABEL_CHAR_WIDTH = 6.6;

// Text for XML character data and attribute values.
std::string xml_text(const std::string& text)
{
    std::string out;
    for (const char c : printable_label(text)) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\'': out += "&apos;"; break;
        default: out += c;
        }
    }
    return out;
}

std::string px(double value)
{
    return fixed(value, 2);
}

// The gnomonic projection of the chart: centre (degrees), scale (pixels per
// degree of standard coordinate) and the pixel of the centre.
struct ChartProjection {
    double ra0;
    double dec0;
    double scale;
    double cx;
    double cy;
};

struct Pixel {
    double x;
    double y;
    bool valid;
};

// The pixel of (ra, dec): east left, north up. Not valid for a non-finite
// place or one 90 deg or more from the centre.
Pixel project(const ChartProjection& p, double ra, double dec)
{
    if (!finite_point(ra, dec)) {
        return {0.0, 0.0, false};
    }
    const TangentPlaneOffsets o = tangent_plane_offsets(ra, dec, p.ra0, p.dec0);
    if (!(o.cos_distance > 0.0) || !std::isfinite(o.xi) || !std::isfinite(o.eta)) {
        return {0.0, 0.0, false};
    }
    return {p.cx - o.xi * p.scale, p.cy - o.eta * p.scale, true};
}

// The sky place under a pixel.
SkyPoint unproject(const ChartProjection& p, double x, double y)
{
    return sky_point_from_offsets((p.cx - x) / p.scale, (p.cy - y) / p.scale, p.ra0, p.dec0);
}

// The span of the sky the plot shows: declinations, right ascensions as
// changes from the centre's, or the whole circle of RA when a pole is in view.
struct SkyRange {
    double dec_min;
    double dec_max;
    double dra_min;
    double dra_max;
    bool full_circle;
};

SkyRange visible_range(const ChartProjection& p, double left, double top, double size)
{
    SkyRange range{90.0, -90.0, 180.0, -180.0, false};
    constexpr int SAMPLES = 40;
    for (int i = 0; i <= SAMPLES; ++i) {
        for (int j = 0; j <= SAMPLES; ++j) {
            const SkyPoint s = unproject(p, left + size * i / SAMPLES, top + size * j / SAMPLES);
            const double dra = right_ascension_change_deg(p.ra0, s.ra_deg);
            range.dec_min = std::min(range.dec_min, s.dec_deg);
            range.dec_max = std::max(range.dec_max, s.dec_deg);
            range.dra_min = std::min(range.dra_min, dra);
            range.dra_max = std::max(range.dra_max, dra);
        }
    }
    for (const double pole : {90.0, -90.0}) {
        const Pixel at = project(p, 0.0, pole);
        if (at.valid && at.x >= left && at.x <= left + size && at.y >= top && at.y <= top + size) {
            range.full_circle = true;
            (pole > 0.0 ? range.dec_max : range.dec_min) = pole;
        }
    }
    return range;
}

// The smallest of the round steps that divides span into at most max_lines.
double round_step(double span, const std::vector<double>& steps, double max_lines)
{
    for (const double step : steps) {
        if (span / step <= max_lines) {
            return step;
        }
    }
    return steps.back();
}

// Grid steps: declination in arcseconds, right ascension in seconds of time.
const std::vector<double> DEC_STEPS_ARCSEC = {1, 2, 5, 10, 15, 30, 60, 120, 300, 600, 900, 1200, 1800,
                                             3600, 7200, 18000, 36000, 54000, 108000};
const std::vector<double> RA_STEPS_SECONDS = {1, 2, 5, 10, 15, 20, 30, 60, 120, 300, 600, 900, 1200,
                                             1800, 3600, 7200, 10800, 14400, 21600};

// A grid right ascension as hours, minutes and seconds down to the step.
std::string ra_grid_label(double ra_deg, double step_seconds)
{
    const long total = std::lround(normalised_ra(ra_deg) * 240.0) % 86400;
    const long h = total / 3600;
    const long m = total / 60 % 60;
    const long s = total % 60;
    char buffer[32];
    if (step_seconds >= 3600.0) {
        std::snprintf(buffer, sizeof buffer, "%ldh", h);
    } else if (step_seconds >= 60.0) {
        std::snprintf(buffer, sizeof buffer, "%ldh%02ldm", h, m);
    } else {
        std::snprintf(buffer, sizeof buffer, "%ldh%02ldm%02lds", h, m, s);
    }
    return buffer;
}

// A grid declination as signed degrees, arcminutes and arcseconds down to
// the step.
std::string dec_grid_label(double dec_deg, double step_arcsec)
{
    const long total = std::lround(std::fabs(dec_deg) * 3600.0);
    const std::string sign = dec_deg < 0.0 && total != 0 ? "\u2212" : "+";
    std::string label = sign + std::to_string(total / 3600) + "\u00b0";
    char buffer[8];
    if (step_arcsec < 3600.0) {
        std::snprintf(buffer, sizeof buffer, "%02ld", total / 60 % 60);
        label += buffer + std::string("\u2032");
    }
    if (step_arcsec < 60.0) {
        std::snprintf(buffer, sizeof buffer, "%02ld", total % 60);
        label += buffer + std::string("\u2033");
    }
    return label;
}

// A length on the sky, arcseconds, as the scale bar prints it.
std::string angle_label(double arcsec)
{
    if (arcsec >= 3600.0) {
        return fixed(arcsec / 3600.0, 0) + "\u00b0";
    }
    if (arcsec >= 60.0) {
        return fixed(arcsec / 60.0, 0) + "\u2032";
    }
    return fixed(arcsec, 0) + "\u2033";
}

// A box on the page, for placing labels.
struct Box {
    double x0;
    double y0;
    double x1;
    double y1;
};

double overlap_area(const Box& a, const Box& b)
{
    const double w = std::min(a.x1, b.x1) - std::max(a.x0, b.x0);
    const double h = std::min(a.y1, b.y1) - std::max(a.y0, b.y0);
    return w > 0.0 && h > 0.0 ? w * h : 0.0;
}

// Where a polyline meets the edges of the plot: the edge (0 bottom, 1 top,
// 2 left, 3 right) and the pixel.
struct EdgeCrossing {
    int edge;
    double x;
    double y;
};

std::vector<EdgeCrossing> edge_crossings(const std::vector<Pixel>& line, double left, double top, double size)
{
    std::vector<EdgeCrossing> crossings;
    const double right = left + size;
    const double bottom = top + size;
    for (std::size_t i = 1; i < line.size(); ++i) {
        const Pixel& a = line[i - 1];
        const Pixel& b = line[i];
        if (!a.valid || !b.valid) {
            continue;
        }
        const double horizontal[2] = {bottom, top};
        for (int e = 0; e < 2; ++e) {
            const double y = horizontal[e];
            if ((a.y - y) * (b.y - y) < 0.0) {
                const double x = a.x + (b.x - a.x) * (y - a.y) / (b.y - a.y);
                if (x >= left && x <= right) {
                    crossings.push_back({e, x, y});
                }
            }
        }
        const double vertical[2] = {left, right};
        for (int e = 0; e < 2; ++e) {
            const double x = vertical[e];
            if ((a.x - x) * (b.x - x) < 0.0) {
                const double y = a.y + (b.y - a.y) * (x - a.x) / (b.x - a.x);
                if (y >= top && y <= bottom) {
                    crossings.push_back({2 + e, x, y});
                }
            }
        }
    }
    return crossings;
}

// An SVG path through the valid pixels of a line, broken where a pixel is not
// valid or lies far off the page.
std::string path_data(const std::vector<Pixel>& line, double cx, double cy, double size)
{
    std::string d;
    bool pen_down = false;
    for (const Pixel& p : line) {
        if (!p.valid || std::fabs(p.x - cx) > 4.0 * size || std::fabs(p.y - cy) > 4.0 * size) {
            pen_down = false;
            continue;
        }
        d += (pen_down ? " L" : (d.empty() ? "M" : " M")) + px(p.x) + " " + px(p.y);
        pen_down = true;
    }
    return d;
}

struct GridLabel {
    std::string text;
    Box box;
    double x;
    double y;
    const char* anchor;
};

// A grid label just outside the plot where the line leaves it through the
// first edge of `preference` that it crosses; inside, at the lowest point of
// the line, when the line crosses no edge.
std::optional<GridLabel> grid_label(const std::string& text, const std::vector<Pixel>& line,
                                    const int (&preference)[4], double left, double top, double size)
{
    const std::vector<EdgeCrossing> crossings = edge_crossings(line, left, top, size);
    const double w = 6.0 * static_cast<double>(text.size() > 6 ? text.size() - 2 : text.size());
    for (const int edge : preference) {
        for (const EdgeCrossing& c : crossings) {
            if (c.edge != edge) {
                continue;
            }
            switch (edge) {
            case 0: return GridLabel{text, {c.x - w / 2, c.y + 3, c.x + w / 2, c.y + 15}, c.x, c.y + 13, "middle"};
            case 1: return GridLabel{text, {c.x - w / 2, c.y - 15, c.x + w / 2, c.y - 3}, c.x, c.y - 5, "middle"};
            case 2: return GridLabel{text, {c.x - 4 - w, c.y - 8, c.x - 4, c.y + 5}, c.x - 4, c.y + 4, "end"};
            default: return GridLabel{text, {c.x + 4, c.y - 8, c.x + 4 + w, c.y + 5}, c.x + 4, c.y + 4, "start"};
            }
        }
    }
    if (!crossings.empty()) {
        return std::nullopt;
    }
    const Pixel* lowest = nullptr;
    for (const Pixel& p : line) {
        if (p.valid && p.x > left && p.x < left + size && p.y > top && p.y < top + size &&
            (lowest == nullptr || p.y > lowest->y)) {
            lowest = &p;
        }
    }
    if (lowest == nullptr) {
        return std::nullopt;
    }
    return GridLabel{text, {lowest->x - w / 2, lowest->y - 12, lowest->x + w / 2, lowest->y}, lowest->x,
                     lowest->y - 3, "middle"};
}

// The light RA/Dec grid with its labels.
std::string grid_svg(const ChartProjection& p, double left, double top, double size)
{
    const SkyRange range = visible_range(p, left, top, size);
    const double dec_step = round_step((range.dec_max - range.dec_min) * 3600.0, DEC_STEPS_ARCSEC, 6.0);
    const double ra_span = range.full_circle ? 360.0 : range.dra_max - range.dra_min;
    const double ra_step = round_step(ra_span * 240.0, RA_STEPS_SECONDS, 7.0);
    const double dec_step_deg = dec_step / 3600.0;
    const double ra_step_deg = ra_step / 240.0;
    const double ra_from = range.full_circle ? 0.0 : p.ra0 + range.dra_min;
    const double ra_to = range.full_circle ? 360.0 : p.ra0 + range.dra_max;
    constexpr int SAMPLES = 160;

    std::string lines;
    std::vector<GridLabel> labels;
    // The compass stands above the plot's top right corner.
    const Box compass{left + size - 60.0, top - 50.0, left + size + 10.0, top};
    const auto add_label = [&labels, &compass](const std::optional<GridLabel>& label) {
        if (!label || overlap_area(label->box, compass) > 0.0) {
            return;
        }
        for (const GridLabel& other : labels) {
            if (overlap_area(label->box, other.box) > 0.0) {
                return;
            }
        }
        labels.push_back(*label);
    };

    static constexpr int DEC_PREFERENCE[4] = {2, 3, 0, 1};
    static constexpr int RA_PREFERENCE[4] = {0, 1, 3, 2};
    for (long k = std::lround(std::ceil(range.dec_min / dec_step_deg)); k * dec_step_deg <= range.dec_max; ++k) {
        const double dec = static_cast<double>(k) * dec_step_deg;
        if (std::fabs(dec) >= 90.0) {
            continue;
        }
        std::vector<Pixel> line;
        for (int i = 0; i <= SAMPLES; ++i) {
            line.push_back(project(p, ra_from + (ra_to - ra_from) * i / SAMPLES, dec));
        }
        lines += "<path d=\"" + path_data(line, p.cx, p.cy, size) + "\"/>\n";
        add_label(grid_label(dec_grid_label(dec, dec_step), line, DEC_PREFERENCE, left, top, size));
    }
    const long ra_last = std::lround(std::floor(ra_to / ra_step_deg)) - (range.full_circle ? 1 : 0);
    for (long k = std::lround(std::ceil(ra_from / ra_step_deg)); k <= ra_last; ++k) {
        const double ra = static_cast<double>(k) * ra_step_deg;
        std::vector<Pixel> line;
        for (int i = 0; i <= SAMPLES; ++i) {
            line.push_back(project(p, ra, range.dec_min + (range.dec_max - range.dec_min) * i / SAMPLES));
        }
        lines += "<path d=\"" + path_data(line, p.cx, p.cy, size) + "\"/>\n";
        add_label(grid_label(ra_grid_label(ra, ra_step), line, RA_PREFERENCE, left, top, size));
    }

    std::string svg = "<g clip-path=\"url(#plot)\" fill=\"none\" stroke=\"#d4d4d4\" stroke-width=\"0.8\">\n" + lines + "</g>\n";
    svg += "<g font-size=\"10\" fill=\"#8a8a8a\">\n";
    for (const GridLabel& label : labels) {
        svg += "<text x=\"" + px(label.x) + "\" y=\"" + px(label.y) + "\" text-anchor=\"" + label.anchor + "\">" +
               label.text + "</text>\n";
    }
    return svg + "</g>\n";
}

// An arrow from a to b: a line and a filled head at b.
std::string arrow_svg(const Pixel& a, const Pixel& b, const std::string& colour)
{
    const double length = std::hypot(b.x - a.x, b.y - a.y);
    if (!(length > 0.5)) {
        return {};
    }
    const double head = std::clamp(0.4 * length, 4.0, 9.0);
    const double ux = (b.x - a.x) / length;
    const double uy = (b.y - a.y) / length;
    const double bx = b.x - ux * head;
    const double by = b.y - uy * head;
    const double half = 0.45 * head;
    std::string svg;
    if (length > head) {
        svg += "<line x1=\"" + px(a.x) + "\" y1=\"" + px(a.y) + "\" x2=\"" + px(bx) + "\" y2=\"" + px(by) +
               "\" stroke=\"" + colour + "\" stroke-width=\"1.6\"/>\n";
    }
    svg += "<polygon points=\"" + px(b.x) + "," + px(b.y) + " " + px(bx - uy * half) + "," + px(by + ux * half) + " " +
           px(bx + uy * half) + "," + px(by - ux * half) + "\" fill=\"" + colour + "\"/>\n";
    return svg;
}

// An object on the chart: its pixel, the size of its mark and its track.
struct ChartObject {
    const OverlayObject* object;
    Pixel at;
    double radius;
    std::optional<std::pair<Pixel, Pixel>> track;
};

// Places of the labels: beside each mark, where it covers the least of the
// other marks, tracks and labels and stays inside the plot.
std::string labels_svg(const std::vector<ChartObject>& placed, double left, double top, double size)
{
    std::vector<Box> obstacles;
    for (const ChartObject& o : placed) {
        obstacles.push_back({o.at.x - o.radius, o.at.y - o.radius, o.at.x + o.radius, o.at.y + o.radius});
        if (o.track) {
            const Pixel& a = o.track->first;
            const Pixel& b = o.track->second;
            const double length = std::hypot(b.x - a.x, b.y - a.y);
            const int steps = static_cast<int>(std::min(400.0, length / 4.0)) + 1;
            for (int i = 0; i <= steps; ++i) {
                const double x = a.x + (b.x - a.x) * i / steps;
                const double y = a.y + (b.y - a.y) * i / steps;
                obstacles.push_back({x - 2.0, y - 2.0, x + 2.0, y + 2.0});
            }
        }
    }
    const Box plot{left, top, left + size, top + size};
    std::string svg = "<g font-size=\"" + fixed(LABEL_FONT, 0) + "\" fill=\"#1a1a1a\">\n";
    for (const ChartObject& o : placed) {
        const std::string text = xml_text(o.object->label);
        if (text.empty()) {
            continue;
        }
        const double w = LABEL_CHAR_WIDTH * static_cast<double>(printable_label(o.object->label).size());
        const double r = o.radius + 2.0;
        struct Candidate {
            double x;
            double y;
            double box_x0;
            const char* anchor;
        };
        const Candidate candidates[] = {
            {o.at.x + r + 1, o.at.y + 4, o.at.x + r + 1, "start"},
            {o.at.x - r - 1, o.at.y + 4, o.at.x - r - 1 - w, "end"},
            {o.at.x + r, o.at.y - r - 1, o.at.x + r, "start"},
            {o.at.x + r, o.at.y + r + 9, o.at.x + r, "start"},
            {o.at.x - r, o.at.y - r - 1, o.at.x - r - w, "end"},
            {o.at.x - r, o.at.y + r + 9, o.at.x - r - w, "end"},
            {o.at.x, o.at.y - r - 3, o.at.x - w / 2, "middle"},
            {o.at.x, o.at.y + r + 12, o.at.x - w / 2, "middle"},
        };
        const Candidate* best = nullptr;
        double best_cost = std::numeric_limits<double>::infinity();
        Box best_box{};
        for (const Candidate& c : candidates) {
            const Box box{c.box_x0, c.y - 9.0, c.box_x0 + w, c.y + 2.0};
            double cost = 3.0 * ((box.x1 - box.x0) * (box.y1 - box.y0) - overlap_area(box, plot));
            for (const Box& b : obstacles) {
                cost += overlap_area(box, b);
            }
            if (cost < best_cost) {
                best_cost = cost;
                best = &c;
                best_box = box;
            }
        }
        obstacles.push_back(best_box);
        svg += "<text x=\"" + px(best->x) + "\" y=\"" + px(best->y) + "\" text-anchor=\"" + best->anchor + "\">" + text +
               "</text>\n";
    }
    return svg + "</g>\n";
}

// The directions of north and east at the centre of the chart (up and
// left), drawn as two short arrows from the pixel (x, y).
std::string compass_svg(double x, double y)
{
    const Pixel centre{x, y, true};
    std::string svg = arrow_svg(centre, {x, y - 24.0, true}, "#555555");
    svg += arrow_svg(centre, {x - 24.0, y, true}, "#555555");
    svg += "<text x=\"" + px(x) + "\" y=\"" + px(y - 28.0) +
           "\" text-anchor=\"middle\" font-size=\"11\" fill=\"#555555\">N</text>\n";
    svg += "<text x=\"" + px(x - 28.0) + "\" y=\"" + px(y + 4.0) +
           "\" text-anchor=\"end\" font-size=\"11\" fill=\"#555555\">E</text>\n";
    return svg;
}

}  // namespace

std::string finder_chart_svg(const OverlayField& field, const std::vector<OverlayObject>& objects)
{
    const bool asteroids = field.kind == OverlayObjectKind::asteroid;
    const double left = PLOT_LEFT;
    const double top = PLOT_TOP;
    const double size = PLOT_SIZE;
    const double bottom = top + size;
    const double height = bottom + 62.0 + CAPTION_LINE * static_cast<double>(field.caption_lines.size());

    std::string svg = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    svg += "<svg xmlns=\"http://www.w3.org/2000/svg\" version=\"1.1\" width=\"" + px(PAGE_WIDTH) + "\" height=\"" +
           px(height) + "\" viewBox=\"0 0 " + px(PAGE_WIDTH) + " " + px(height) +
           "\" font-family=\"DejaVu Sans, Helvetica, Arial, sans-serif\">\n";
    svg += "<defs><clipPath id=\"plot\"><rect x=\"" + px(left) + "\" y=\"" + px(top) + "\" width=\"" + px(size) +
           "\" height=\"" + px(size) + "\"/></clipPath></defs>\n";
    svg += "<rect x=\"0\" y=\"0\" width=\"" + px(PAGE_WIDTH) + "\" height=\"" + px(height) + "\" fill=\"white\"/>\n";
    svg += "<text x=\"" + px(left) + "\" y=\"40\" font-size=\"17\" font-weight=\"bold\" fill=\"#1a1a1a\">" +
           xml_text(field.title) + "</text>\n";

    if (finite_point(field.centre_ra_deg, field.centre_dec_deg) && std::fabs(field.centre_dec_deg) <= 90.0) {
        // Half the plot's side in degrees of standard coordinate: the outline
        // with a margin, else the objects, else half a degree; never so wide
        // that the projection runs away.
        double half_extent = outline_half_extent(field) * 1.14;
        if (!(half_extent > 0.0)) {
            for (const OverlayObject& o : objects) {
                const TangentPlaneOffsets t =
                    tangent_plane_offsets(o.ra_deg, o.dec_deg, field.centre_ra_deg, field.centre_dec_deg);
                if (t.cos_distance > 0.0 && std::isfinite(t.xi) && std::isfinite(t.eta)) {
                    half_extent = std::max({half_extent, 1.2 * std::fabs(t.xi), 1.2 * std::fabs(t.eta)});
                }
            }
        }
        if (!(half_extent > 0.0)) {
            half_extent = 0.5;
        }
        half_extent = std::min(half_extent, 120.0);
        const ChartProjection p{field.centre_ra_deg, field.centre_dec_deg, size / 2.0 / half_extent,
                                left + size / 2.0, top + size / 2.0};

        svg += grid_svg(p, left, top, size);

        std::vector<Pixel> outline;
        for (const SkyPoint& s : field.outline) {
            outline.push_back(project(p, s.ra_deg, s.dec_deg));
        }
        if (!outline.empty()) {
            outline.push_back(outline.front());
            svg += "<path clip-path=\"url(#plot)\" d=\"" + path_data(outline, p.cx, p.cy, size) +
                   "\" fill=\"none\" stroke=\"#303030\" stroke-width=\"1.5\"/>\n";
        }

        // The objects in view, brightest first; marks of asteroids grow by
        // 1.3 pixels per magnitude above the faintest shown.
        std::vector<ChartObject> placed;
        double faintest = -std::numeric_limits<double>::infinity();
        for (const OverlayObject& o : objects) {
            const Pixel at = project(p, o.ra_deg, o.dec_deg);
            if (!at.valid) {
                continue;
            }
            ChartObject c{&o, at, asteroids ? 3.5 : 4.5, std::nullopt};
            if (o.track_start && o.track_end) {
                const Pixel a = project(p, o.track_start->ra_deg, o.track_start->dec_deg);
                const Pixel b = project(p, o.track_end->ra_deg, o.track_end->dec_deg);
                const auto near_page = [&](const Pixel& q) {
                    return q.valid && std::fabs(q.x - p.cx) < 50.0 * size && std::fabs(q.y - p.cy) < 50.0 * size;
                };
                if (near_page(a) && near_page(b)) {
                    c.track = std::make_pair(a, b);
                }
            }
            if (o.magnitude && std::isfinite(*o.magnitude)) {
                faintest = std::max(faintest, *o.magnitude);
            }
            placed.push_back(c);
        }
        if (asteroids) {
            for (ChartObject& c : placed) {
                if (c.object->magnitude && std::isfinite(*c.object->magnitude)) {
                    c.radius = std::min(10.0, 3.0 + 1.3 * (faintest - *c.object->magnitude));
                }
            }
            std::stable_sort(placed.begin(), placed.end(),
                             [](const ChartObject& a, const ChartObject& b) { return a.radius > b.radius; });
        }

        const std::string track_colour = asteroids ? "#c0392b" : "#d35400";
        const std::string mark_colour = asteroids ? "#1f4e9c" : "#00695c";
        // Streaks of satellites lie under their marks; the short arrows of
        // asteroids over them, lest a mark hide them.
        std::string arrows;
        for (const ChartObject& c : placed) {
            if (c.track) {
                arrows += arrow_svg(c.track->first, c.track->second, track_colour);
            }
        }
        svg += "<g clip-path=\"url(#plot)\">\n";
        if (!asteroids) {
            svg += arrows;
        }
        for (const ChartObject& c : placed) {
            const std::string tooltip = "<title>" + xml_text(c.object->label) +
                                        (c.object->magnitude && std::isfinite(*c.object->magnitude)
                                             ? " V=" + fixed(*c.object->magnitude, 1)
                                             : std::string()) +
                                        "</title>";
            if (asteroids) {
                svg += "<circle cx=\"" + px(c.at.x) + "\" cy=\"" + px(c.at.y) + "\" r=\"" + px(c.radius) + "\" fill=\"" +
                       mark_colour + "\" fill-opacity=\"0.85\" stroke=\"white\" stroke-width=\"0.8\">" + tooltip +
                       "</circle>\n";
            } else {
                const double r = c.radius;
                svg += "<polygon points=\"" + px(c.at.x) + "," + px(c.at.y - r) + " " + px(c.at.x + r) + "," +
                       px(c.at.y) + " " + px(c.at.x) + "," + px(c.at.y + r) + " " + px(c.at.x - r) + "," + px(c.at.y) +
                       "\" fill=\"" + mark_colour + "\" stroke=\"white\" stroke-width=\"0.8\">" + tooltip +
                       "</polygon>\n";
            }
        }
        if (asteroids) {
            svg += arrows;
        }
        svg += "</g>\n";
        svg += labels_svg(placed, left, top, size);
        svg += compass_svg(left + size - 4.0, top - 14.0);

        // Scale bar: the largest round length within a quarter of the plot.
        static const std::vector<double> SCALE_ARCSEC = {1, 2, 5, 10, 15, 20, 30, 60, 120, 300, 600, 900, 1200,
                                                        1800, 3600, 7200, 10800, 18000, 36000};
        double bar = SCALE_ARCSEC.front();
        for (const double length : SCALE_ARCSEC) {
            if (length / 3600.0 * p.scale <= size / 4.0) {
                bar = length;
            }
        }
        const double bar_px = bar / 3600.0 * p.scale;
        const double bar_y = bottom + 36.0;
        svg += "<path d=\"M" + px(left + size - bar_px) + " " + px(bar_y - 4) + " v4 h" + px(bar_px) +
               " v-4\" fill=\"none\" stroke=\"#1a1a1a\" stroke-width=\"1.5\"/>\n";
        svg += "<text x=\"" + px(left + size - bar_px - 6.0) + "\" y=\"" + px(bar_y + 1.0) +
               "\" text-anchor=\"end\" font-size=\"11\" fill=\"#1a1a1a\">" + angle_label(bar) + "</text>\n";
    } else {
        svg += "<text x=\"" + px(left + size / 2.0) + "\" y=\"" + px(top + size / 2.0) +
               "\" text-anchor=\"middle\" font-size=\"14\" fill=\"#1a1a1a\">no valid field centre</text>\n";
    }
    svg += "<rect x=\"" + px(left) + "\" y=\"" + px(top) + "\" width=\"" + px(size) + "\" height=\"" + px(size) +
           "\" fill=\"none\" stroke=\"#1a1a1a\" stroke-width=\"1\"/>\n";
    for (std::size_t i = 0; i < field.caption_lines.size(); ++i) {
        svg += "<text x=\"" + px(left) + "\" y=\"" + px(bottom + 62.0 + CAPTION_LINE * static_cast<double>(i)) +
               "\" font-size=\"12\" fill=\"#1a1a1a\">" + xml_text(field.caption_lines[i]) + "</text>\n";
    }
    return svg + "</svg>\n";
}

}  // namespace fieldsearch
