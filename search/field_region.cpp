#include "field_region.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <utility>

#include "angles.hpp"
#include "square_field.hpp"

namespace fieldsearch {

namespace {

// Points of the footprint where the plate scale is measured, per axis.
constexpr int SCALE_SAMPLES = 9;

// Half the smallest angular size of a pixel step (radians per pixel) over
// a grid of points of the widened footprint, along both axes.
double least_scale(const ImageFrame& frame)
{
    double least = INFINITY;
    const double widen_x = 0.05 * frame.naxis1;
    const double widen_y = 0.05 * frame.naxis2;
    for (int i = 0; i < SCALE_SAMPLES; ++i) {
        for (int j = 0; j < SCALE_SAMPLES; ++j) {
            const double x = 0.5 - widen_x + (frame.naxis1 + 2.0 * widen_x) * i / (SCALE_SAMPLES - 1);
            const double y = 0.5 - widen_y + (frame.naxis2 + 2.0 * widen_y) * j / (SCALE_SAMPLES - 1);
            const auto p = sky_position(frame, x, y);
            const auto px = sky_position(frame, x + 1.0, y);
            const auto py = sky_position(frame, x, y + 1.0);
            if (!p || !px || !py) {
                return 0.0;
            }
            const Vector3 v = unit_vector_from_sky(p->ra_deg, p->dec_deg);
            least = std::min({least, angle_between(v, unit_vector_from_sky(px->ra_deg, px->dec_deg)),
                              angle_between(v, unit_vector_from_sky(py->ra_deg, py->dec_deg))});
        }
    }
    return std::isfinite(least) ? 0.5 * least : 0.0;
}


// Arcs of the boundary are sampled until they are no longer than these,
// or until so many halvings.
constexpr double OUTLINE_ARC_RAD = 0.05 * DEG_TO_RAD;
constexpr double LIMB_ARC_RAD = 0.25 * DEG_TO_RAD;
constexpr int OUTLINE_SAMPLES_PER_EDGE = 256;
constexpr int OUTLINE_DEPTH = 16;
constexpr int LIMB_GRID = 65;
constexpr int LIMB_DEPTH = 6;
constexpr int BISECTIONS = 30;
constexpr int EXPANSIONS = 48;

struct Pixel {
    double x;
    double y;
};

Pixel midpoint(const Pixel& a, const Pixel& b)
{
    return {0.5 * (a.x + b.x), 0.5 * (a.y + b.y)};
}

// Bits of each coordinate on a cube face of the quadtree's finest cells.
constexpr int FACE_BITS = 16;
// Leaves hold at most this many arcs, unless they are of the finest cells.
constexpr std::size_t LEAF_ARCS = 8;

// The cube face a unit vector points through (0 to 5), and the Morton
// order of its place on the face: the quadtree's cells are runs of it.
std::uint64_t sphere_order(const Vector3& v)
{
    int axis = 1;
    for (int i = 2; i <= 3; ++i) {
        if (std::fabs(v(i)) > std::fabs(v(axis))) {
            axis = i;
        }
    }
    const double w = std::fabs(v(axis));
    const auto scaled = [](double c) {
        return static_cast<std::uint32_t>(std::clamp((c + 1.0) * 32767.5, 0.0, 65535.0));
    };
    const std::uint32_t a = scaled(v(axis % 3 + 1) / w);
    const std::uint32_t b = scaled(v((axis + 1) % 3 + 1) / w);
    std::uint64_t morton = 0;
    for (int bit = 0; bit < FACE_BITS; ++bit) {
        morton |= static_cast<std::uint64_t>((a >> bit) & 1U) << (2 * bit);
        morton |= static_cast<std::uint64_t>((b >> bit) & 1U) << (2 * bit + 1);
    }
    const int face = 2 * (axis - 1) + (v(axis) < 0.0 ? 1 : 0);
    return (static_cast<std::uint64_t>(face) << 32) | morton;
}

// The cap (centre and radius) holding the points with their margins.
void set_cap(SkyBoundary::Node& node, const std::vector<std::pair<Vector3, double>>& points)
{
    Vector3 sum{};
    for (const auto& [v, margin] : points) {
        for (int i = 1; i <= 3; ++i) {
            sum(i) += v(i);
        }
    }
    const double norm = std::sqrt(dot_product(sum, sum));
    node.centre = unit_vector_from_sky(0.0, 90.0);
    node.radius_rad = PI;
    if (norm > 1e-9) {
        for (int i = 1; i <= 3; ++i) {
            node.centre(i) = sum(i) / norm;
        }
        double radius = 0.0;
        for (const auto& [v, margin] : points) {
            radius = std::max(radius, angle_between(node.centre, v) + margin);
        }
        node.radius_rad = radius;
    }
}

// Adds the node of the arcs [first, first + count), all of one quadtree
// cell whose Morton codes share their top `depth` pairs of bits, and its
// children; returns its index.
std::size_t add_node(SkyBoundary& b, const std::vector<std::uint64_t>& codes, std::size_t first, std::size_t count,
                     int depth)
{
    const std::size_t index = b.nodes.size();
    b.nodes.push_back({{}, PI, 0, 0, first, count});
    std::vector<std::pair<Vector3, double>> points;
    if (count <= LEAF_ARCS || depth >= FACE_BITS) {
        for (std::size_t k = first; k < first + count; ++k) {
            points.push_back({b.arcs[k].a, b.arcs[k].length_rad});
            points.push_back({b.arcs[k].b, b.arcs[k].length_rad});
        }
        set_cap(b.nodes[index], points);
        return index;
    }
    const int shift = 2 * (FACE_BITS - depth - 1);
    std::vector<std::size_t> children;
    for (std::size_t k = first; k < first + count;) {
        const std::uint64_t quadrant = (codes[k] >> shift) & 3U;
        std::size_t end = k;
        while (end < first + count && ((codes[end] >> shift) & 3U) == quadrant) {
            ++end;
        }
        children.push_back(add_node(b, codes, k, end - k, depth + 1));
        k = end;
    }
    // Children come one after another only when added in a row: keep
    // their indices in a block of their own.
    const std::size_t block = b.nodes.size();
    for (const std::size_t child : children) {
        b.nodes.push_back(b.nodes[child]);
        points.push_back({b.nodes[child].centre, b.nodes[child].radius_rad});
    }
    b.nodes[index].first_child = block;
    b.nodes[index].child_count = children.size();
    set_cap(b.nodes[index], points);
    return index;
}

// The arcs, without repeats, in Morton order, and the quadtree over them.
SkyBoundary tree_of(std::vector<SkyBoundary::Arc> arcs)
{
    std::vector<std::pair<std::uint64_t, std::size_t>> order;
    order.reserve(arcs.size());
    for (std::size_t k = 0; k < arcs.size(); ++k) {
        Vector3 mid;
        for (int i = 1; i <= 3; ++i) {
            mid(i) = arcs[k].a(i) + arcs[k].b(i);
        }
        order.push_back({sphere_order(mid), k});
    }
    std::sort(order.begin(), order.end());
    SkyBoundary boundary;
    std::vector<std::uint64_t> codes;
    for (const auto& [code, k] : order) {
        // Arcs that repeat one already held (the limb of a projection
        // whose edge is one point of the sky gives many) add nothing.
        if (!boundary.arcs.empty() && codes.back() == code) {
            const SkyBoundary::Arc& last = boundary.arcs.back();
            if (angle_between(last.a, arcs[k].a) + angle_between(last.b, arcs[k].b) <= 1e-12 &&
                arcs[k].length_rad <= last.length_rad) {
                continue;
            }
        }
        boundary.arcs.push_back(arcs[k]);
        codes.push_back(code);
    }
    for (std::size_t k = 0; k < codes.size();) {
        const std::uint64_t face = codes[k] >> 32;
        std::size_t end = k;
        while (end < codes.size() && (codes[end] >> 32) == face) {
            ++end;
        }
        std::vector<std::uint64_t> on_face(codes.begin(), codes.end());
        for (std::uint64_t& c : on_face) {
            c &= 0xffffffffULL;
        }
        boundary.roots.push_back(add_node(boundary, on_face, k, end - k, 0));
        k = end;
    }
    return boundary;
}

// Builds the sampled boundary of a frame partly off the sky.
class BoundaryBuilder {
public:
    explicit BoundaryBuilder(const ImageFrame& frame) : frame_(frame) {}

    // The place of a pixel of the region: on the sky, and the pixel the WCS
    // gives its place (beyond a seam of the projection the image shows
    // places whose pixel lies elsewhere: the seam bounds the region too).
    std::optional<Vector3> sky(const Pixel& p) const
    {
        const auto s = own_sky_position(frame_, p.x, p.y);
        if (!s) {
            return std::nullopt;
        }
        return unit_vector_from_sky(s->ra_deg, s->dec_deg);
    }

    // The outermost pixel on the sky between `on` (on it) and `off`.
    Pixel last_on_sky(Pixel on, Pixel off) const
    {
        for (int i = 0; i < BISECTIONS; ++i) {
            const Pixel mid = midpoint(on, off);
            (sky(mid) ? on : off) = mid;
        }
        return on;
    }

    void add(const Vector3& a, const Vector3& b) { arcs_.push_back({a, b, angle_between(a, b)}); }

    // The footprint's edge from pa to pb, both on the sky: halved until the
    // arcs are short, around any stretch off the sky between them.
    void edge_piece(const Pixel& pa, const Vector3& a, const Pixel& pb, const Vector3& b, int depth)
    {
        if (angle_between(a, b) <= OUTLINE_ARC_RAD || depth >= OUTLINE_DEPTH) {
            add(a, b);
            return;
        }
        const Pixel pm = midpoint(pa, pb);
        if (const auto m = sky(pm)) {
            edge_piece(pa, a, pm, *m, depth + 1);
            edge_piece(pm, *m, pb, b, depth + 1);
            return;
        }
        const Pixel qa = last_on_sky(pa, pm);
        const Pixel qb = last_on_sky(pb, pm);
        edge_piece(pa, a, qa, *sky(qa), depth + 1);
        edge_piece(qb, *sky(qb), pb, b, depth + 1);
    }

    // One step along the footprint's edge.
    void edge_step(const Pixel& pa, const Pixel& pb)
    {
        const auto a = sky(pa);
        const auto b = sky(pb);
        if (a && b) {
            edge_piece(pa, *a, pb, *b, 0);
        } else if (a) {
            const Pixel q = last_on_sky(pa, pb);
            edge_piece(pa, *a, q, *sky(q), 0);
        } else if (b) {
            const Pixel q = last_on_sky(pb, pa);
            edge_piece(q, *sky(q), pb, *b, 0);
        }
    }

    // The limb within the cell of corners c[0..3] (counter-clockwise from
    // the low x, low y one) whose corners are on the sky as on[0..3] says,
    // not all alike: the points where its edges leave the sky, joined each
    // to each, the cell halved while those arcs are long.
    void limb_cell(const std::array<Pixel, 4>& c, const std::array<bool, 4>& on, int depth)
    {
        std::vector<Vector3> crossings;
        for (std::size_t e = 0; e < 4; ++e) {
            const std::size_t f = (e + 1) % 4;
            if (on[e] != on[f]) {
                const Pixel q = on[e] ? last_on_sky(c[e], c[f]) : last_on_sky(c[f], c[e]);
                crossings.push_back(*sky(q));
            }
        }
        double longest = 0.0;
        for (std::size_t i = 0; i < crossings.size(); ++i) {
            for (std::size_t j = i + 1; j < crossings.size(); ++j) {
                longest = std::max(longest, angle_between(crossings[i], crossings[j]));
            }
        }
        if (longest <= LIMB_ARC_RAD || depth >= LIMB_DEPTH) {
            for (std::size_t i = 0; i < crossings.size(); ++i) {
                for (std::size_t j = i + 1; j < crossings.size(); ++j) {
                    add(crossings[i], crossings[j]);
                }
            }
            return;
        }
        const Pixel m01 = midpoint(c[0], c[1]);
        const Pixel m12 = midpoint(c[1], c[2]);
        const Pixel m23 = midpoint(c[2], c[3]);
        const Pixel m30 = midpoint(c[3], c[0]);
        const Pixel centre = midpoint(c[0], c[2]);
        const bool o01 = sky(m01).has_value();
        const bool o12 = sky(m12).has_value();
        const bool o23 = sky(m23).has_value();
        const bool o30 = sky(m30).has_value();
        const bool oc = sky(centre).has_value();
        const std::array<std::pair<std::array<Pixel, 4>, std::array<bool, 4>>, 4> quarters{{
            {{c[0], m01, centre, m30}, {on[0], o01, oc, o30}},
            {{m01, c[1], m12, centre}, {o01, on[1], o12, oc}},
            {{centre, m12, c[2], m23}, {oc, o12, on[2], o23}},
            {{m30, centre, m23, c[3]}, {o30, oc, o23, on[3]}},
        }};
        for (const auto& [corners, states] : quarters) {
            if (!(states[0] == states[1] && states[1] == states[2] && states[2] == states[3])) {
                limb_cell(corners, states, depth + 1);
            }
        }
    }

    SkyBoundary build()
    {
        const double widen_x = 0.05 * frame_.naxis1;
        const double widen_y = 0.05 * frame_.naxis2;
        const double x0 = 0.5 - widen_x;
        const double x1 = frame_.naxis1 + 0.5 + widen_x;
        const double y0 = 0.5 - widen_y;
        const double y1 = frame_.naxis2 + 0.5 + widen_y;
        const std::array<Pixel, 4> corners{{{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}}};
        for (std::size_t e = 0; e < 4; ++e) {
            const Pixel& a = corners[e];
            const Pixel& b = corners[(e + 1) % 4];
            for (int i = 0; i < OUTLINE_SAMPLES_PER_EDGE; ++i) {
                const double t0 = static_cast<double>(i) / OUTLINE_SAMPLES_PER_EDGE;
                const double t1 = static_cast<double>(i + 1) / OUTLINE_SAMPLES_PER_EDGE;
                edge_step({a.x + (b.x - a.x) * t0, a.y + (b.y - a.y) * t0},
                          {a.x + (b.x - a.x) * t1, a.y + (b.y - a.y) * t1});
            }
        }
        const auto node = [&](int i, int j) {
            return Pixel{x0 + (x1 - x0) * i / (LIMB_GRID - 1), y0 + (y1 - y0) * j / (LIMB_GRID - 1)};
        };
        std::vector<char> on(static_cast<std::size_t>(LIMB_GRID * LIMB_GRID));
        for (int j = 0; j < LIMB_GRID; ++j) {
            for (int i = 0; i < LIMB_GRID; ++i) {
                on[static_cast<std::size_t>(j * LIMB_GRID + i)] = sky(node(i, j)).has_value() ? 1 : 0;
            }
        }
        const auto on_at = [&](int i, int j) { return on[static_cast<std::size_t>(j * LIMB_GRID + i)] != 0; };
        for (int j = 0; j + 1 < LIMB_GRID; ++j) {
            for (int i = 0; i + 1 < LIMB_GRID; ++i) {
                const std::array<bool, 4> states{on_at(i, j), on_at(i + 1, j), on_at(i + 1, j + 1), on_at(i, j + 1)};
                if (!(states[0] == states[1] && states[1] == states[2] && states[2] == states[3])) {
                    limb_cell({node(i, j), node(i + 1, j), node(i + 1, j + 1), node(i, j + 1)}, states, 0);
                }
            }
        }
        return tree_of(std::move(arcs_));
    }

private:
    const ImageFrame& frame_;
    std::vector<SkyBoundary::Arc> arcs_;
};

}  // namespace

SkyBoundary sky_boundary(const ImageFrame& frame)
{
    if (frame.wholly_on_sky) {
        return {};
    }
    return BoundaryBuilder(frame).build();
}

namespace {

// A lower bound of the angle between unit vectors: the arc cosine of their
// dot product, less what its rounding can add near 0 (sqrt(2 * 2^-52)).
double angle_at_least(const Vector3& a, const Vector3& b)
{
    return std::acos(std::clamp(dot_product(a, b), -1.0, 1.0)) - 3e-8;
}

}  // namespace

double boundary_clearance(const SkyBoundary& boundary, const Vector3& p)
{
    if (boundary.roots.empty()) {
        return PI;
    }
    // Best first: a small heap of (bound, node); a leaf's entry is exact.
    struct Entry {
        double bound;
        std::size_t node;
        bool exact;
    };
    std::array<Entry, 6 + 4 * EXPANSIONS> heap{};
    std::size_t size = 0;
    const auto later = [](const Entry& a, const Entry& b) { return a.bound > b.bound; };
    const auto push = [&](const Entry& e) {
        heap[size++] = e;
        std::push_heap(heap.begin(), heap.begin() + static_cast<std::ptrdiff_t>(size), later);
    };
    for (const std::size_t root : boundary.roots) {
        const SkyBoundary::Node& n = boundary.nodes[root];
        push({angle_at_least(p, n.centre) - n.radius_rad, root, false});
    }
    for (int expansions = 0; size > 0; ++expansions) {
        std::pop_heap(heap.begin(), heap.begin() + static_cast<std::ptrdiff_t>(size), later);
        const Entry e = heap[--size];
        if (e.exact || expansions >= EXPANSIONS) {
            return std::max(0.0, e.bound);
        }
        const SkyBoundary::Node& n = boundary.nodes[e.node];
        if (n.child_count == 0) {
            double nearest = PI;
            for (std::size_t k = n.first_arc; k < n.first_arc + n.arc_count; ++k) {
                const SkyBoundary::Arc& arc = boundary.arcs[k];
                nearest = std::min(nearest, std::min(angle_at_least(p, arc.a), angle_at_least(p, arc.b)) - arc.length_rad);
            }
            push({nearest, e.node, true});
            continue;
        }
        for (std::size_t c = n.first_child; c < n.first_child + n.child_count; ++c) {
            const SkyBoundary::Node& child = boundary.nodes[c];
            push({angle_at_least(p, child.centre) - child.radius_rad, c, false});
        }
    }
    return PI;
}

FieldRegion field_region(const FieldSearch& field)
{
    FieldRegion region{};
    if (field.frame) {
        region.frame = field.frame;
        region.cap = widened_bounding_circle(*field.frame);
        if (field.frame->wholly_on_sky) {
            region.least_scale_rad_per_pixel = least_scale(*field.frame);
        } else {
            region.boundary = sky_boundary(*field.frame);
        }
        return region;
    }
    const SearchRequest r = field_request(field);
    region.square = square_region(r.centre_ra_deg, r.centre_dec_deg, r.half_side_deg);
    region.cap = {unit_vector_from_sky(r.centre_ra_deg, r.centre_dec_deg), square_field_cap_radius(r.half_side_deg)};
    return region;
}

std::optional<PixelPosition> field_pixel(const FieldRegion& region, double ra_deg, double dec_deg)
{
    if (!region.frame) {
        return std::nullopt;
    }
    return pixel_position(*region.frame, ra_deg, dec_deg);
}

bool in_field_region(const FieldRegion& region, double ra_deg, double dec_deg)
{
    if (!region.frame) {
        const SquareRegion& s = region.square;
        return in_square_field(ra_deg, dec_deg, 0.0, s.centre_ra_deg, s.centre_dec_deg, s.half_side_deg, 0.0) == 1;
    }
    const auto pixel = pixel_position(*region.frame, ra_deg, dec_deg);
    return pixel && in_widened_footprint(*region.frame, *pixel);
}

RegionTest field_region_test(const FieldRegion& region, const SkyPlace& place)
{
    if (!region.frame) {
        return square_region_test(region.square, place);
    }
    const double from_centre = angle_between(place.direction, region.cap.centre);
    if (from_centre > region.cap.radius_rad) {
        return {false, from_centre - region.cap.radius_rad};
    }
    const ImageFrame& frame = *region.frame;
    const auto pixel = pixel_position(frame, place.ra_deg, place.dec_deg);
    if (!frame.wholly_on_sky) {
        // Part of the footprint lies off the sky: the pixel distance says
        // nothing near the limb, the sampled boundary does.
        const bool inside = pixel && in_widened_footprint(frame, *pixel);
        const double clearance =
            region.boundary.arcs.empty() ? 0.0 : boundary_clearance(region.boundary, place.direction);
        return {inside, std::max(0.0, clearance - 1e-12)};
    }
    if (!pixel) {
        return {false, 0.0};
    }
    const bool inside = in_widened_footprint(frame, *pixel);
    // The widened footprint in pixels.
    const double x0 = 0.5 - 0.05 * frame.naxis1;
    const double x1 = frame.naxis1 + 0.5 + 0.05 * frame.naxis1;
    const double y0 = 0.5 - 0.05 * frame.naxis2;
    const double y1 = frame.naxis2 + 0.5 + 0.05 * frame.naxis2;
    double pixels = 0.0;
    if (inside) {
        pixels = std::min({pixel->x - x0, x1 - pixel->x, pixel->y - y0, y1 - pixel->y});
    } else {
        const double dx = std::max({x0 - pixel->x, 0.0, pixel->x - x1});
        const double dy = std::max({y0 - pixel->y, 0.0, pixel->y - y1});
        pixels = std::hypot(dx, dy);
    }
    return {inside, std::max(0.0, pixels * region.least_scale_rad_per_pixel - 1e-12)};
}

}  // namespace fieldsearch
