#include "sgp4.hpp"

#include <cmath>
#include <limits>
#include <numbers>

namespace fieldsearch {

namespace {

constexpr double PI = std::numbers::pi;
constexpr double TWO_PI = 2.0 * std::numbers::pi;
constexpr double TWO_THIRDS = 2.0 / 3.0;

// sqrt(mu / R^3) in 1/min: the models' unit of time is 1/XKE minutes.
const double XKE = 60.0 / std::sqrt(SGP4_EARTH_RADIUS_KM * SGP4_EARTH_RADIUS_KM * SGP4_EARTH_RADIUS_KM / SGP4_MU);
constexpr double J3_OVER_J2 = SGP4_J3 / SGP4_J2;

// Earth's rotation, rad/min.
constexpr double EARTH_ROTATION = 4.37526908801129966e-3;

// The Sun and the Moon: eccentricities of their orbits, mean motions (rad/min),
// the inclination of the ecliptic and the Sun's orbit parameters.
constexpr double ZES = 0.01675;
constexpr double ZEL = 0.05490;
constexpr double ZNS = 1.19459e-5;
constexpr double ZNL = 1.5835218e-4;

double fourth_power(double x)
{
    const double x2 = x * x;
    return x2 * x2;
}

// Greenwich mean sidereal time (IAU 1982) at Julian date `jd_ut1`, radians in [0, 2 pi).
double greenwich_sidereal_angle(double jd_ut1)
{
    const double t = (jd_ut1 - 2451545.0) / 36525.0;
    double seconds = -6.2e-6 * t * t * t + 0.093104 * t * t + (876600.0 * 3600.0 + 8640184.812866) * t + 67310.54841;
    double angle = std::fmod(seconds * (PI / 180.0) / 240.0, TWO_PI);
    if (angle < 0.0) {
        angle += TWO_PI;
    }
    return angle;
}

// What the lunar-solar terms are built from at an epoch (the 1980 report's
// common block of the deep-space initialisation): the coefficients of the
// solar (index 0) and lunar (index 1) perturbation.
struct ThirdBodyTerms {
    double s1, s2, s3, s4, s5, s6, s7;
    double z1, z2, z3, z11, z12, z13, z21, z22, z23, z31, z32, z33;
};

struct DeepSpaceCommon {
    ThirdBodyTerms body[2];  // 0: Sun, 1: Moon
    double zmol, zmos;
    double emsq;
};

// The lunar-solar coefficients for mean elements at `days_since_1950`
// (epoch + 18261.5 gives days from 1900 January 0.5).
DeepSpaceCommon deep_space_common(double days_since_1950, double ecc, double argp, double incl, double node,
                                  double mean_motion)
{
    constexpr double C1SS = 2.9864797e-6;
    constexpr double C1L = 4.7968065e-7;
    constexpr double ZSINIS = 0.39785416;
    constexpr double ZCOSIS = 0.91744867;
    constexpr double ZCOSGS = 0.1945905;
    constexpr double ZSINGS = -0.98088458;

    DeepSpaceCommon c{};
    const double snodm = std::sin(node);
    const double cnodm = std::cos(node);
    const double sinomm = std::sin(argp);
    const double cosomm = std::cos(argp);
    const double sinim = std::sin(incl);
    const double cosim = std::cos(incl);
    const double emsq = ecc * ecc;
    const double betasq = 1.0 - emsq;
    const double rtemsq = std::sqrt(betasq);
    c.emsq = emsq;

    // The Moon's node and the angles of its orbit on the equator.
    const double day = days_since_1950 + 18261.5;
    const double xnodce = std::fmod(4.5236020 - 9.2422029e-4 * day, TWO_PI);
    const double stem = std::sin(xnodce);
    const double ctem = std::cos(xnodce);
    const double zcosil = 0.91375164 - 0.03568096 * ctem;
    const double zsinil = std::sqrt(1.0 - zcosil * zcosil);
    const double zsinhl = 0.089683511 * stem / zsinil;
    const double zcoshl = std::sqrt(1.0 - zsinhl * zsinhl);
    const double gam = 5.8351514 + 0.0019443680 * day;
    double zx = 0.39785416 * stem / zsinil;
    const double zy = zcoshl * ctem + 0.91744867 * zsinhl * stem;
    zx = std::atan2(zx, zy);
    zx = gam + zx - xnodce;
    const double zcosgl = std::cos(zx);
    const double zsingl = std::sin(zx);

    double zcosg = ZCOSGS;
    double zsing = ZSINGS;
    double zcosi = ZCOSIS;
    double zsini = ZSINIS;
    double zcosh = cnodm;
    double zsinh = snodm;
    double cc = C1SS;
    const double xnoi = 1.0 / mean_motion;

    for (int k = 0; k < 2; ++k) {
        ThirdBodyTerms& b = c.body[k];
        const double a1 = zcosg * zcosh + zsing * zcosi * zsinh;
        const double a3 = -zsing * zcosh + zcosg * zcosi * zsinh;
        const double a7 = -zcosg * zsinh + zsing * zcosi * zcosh;
        const double a8 = zsing * zsini;
        const double a9 = zsing * zsinh + zcosg * zcosi * zcosh;
        const double a10 = zcosg * zsini;
        const double a2 = cosim * a7 + sinim * a8;
        const double a4 = cosim * a9 + sinim * a10;
        const double a5 = -sinim * a7 + cosim * a8;
        const double a6 = -sinim * a9 + cosim * a10;

        const double x1 = a1 * cosomm + a2 * sinomm;
        const double x2 = a3 * cosomm + a4 * sinomm;
        const double x3 = -a1 * sinomm + a2 * cosomm;
        const double x4 = -a3 * sinomm + a4 * cosomm;
        const double x5 = a5 * sinomm;
        const double x6 = a6 * sinomm;
        const double x7 = a5 * cosomm;
        const double x8 = a6 * cosomm;

        b.z31 = 12.0 * x1 * x1 - 3.0 * x3 * x3;
        b.z32 = 24.0 * x1 * x2 - 6.0 * x3 * x4;
        b.z33 = 12.0 * x2 * x2 - 3.0 * x4 * x4;
        b.z1 = 3.0 * (a1 * a1 + a2 * a2) + b.z31 * emsq;
        b.z2 = 6.0 * (a1 * a3 + a2 * a4) + b.z32 * emsq;
        b.z3 = 3.0 * (a3 * a3 + a4 * a4) + b.z33 * emsq;
        b.z11 = -6.0 * a1 * a5 + emsq * (-24.0 * x1 * x7 - 6.0 * x3 * x5);
        b.z12 = -6.0 * (a1 * a6 + a3 * a5) + emsq * (-24.0 * (x2 * x7 + x1 * x8) - 6.0 * (x3 * x6 + x4 * x5));
        b.z13 = -6.0 * a3 * a6 + emsq * (-24.0 * x2 * x8 - 6.0 * x4 * x6);
        b.z21 = 6.0 * a2 * a5 + emsq * (24.0 * x1 * x5 - 6.0 * x3 * x7);
        b.z22 = 6.0 * (a4 * a5 + a2 * a6) + emsq * (24.0 * (x2 * x5 + x1 * x6) - 6.0 * (x4 * x7 + x3 * x8));
        b.z23 = 6.0 * a4 * a6 + emsq * (24.0 * x2 * x6 - 6.0 * x4 * x8);
        b.z1 = b.z1 + b.z1 + betasq * b.z31;
        b.z2 = b.z2 + b.z2 + betasq * b.z32;
        b.z3 = b.z3 + b.z3 + betasq * b.z33;
        b.s3 = cc * xnoi;
        b.s2 = -0.5 * b.s3 / rtemsq;
        b.s4 = b.s3 * rtemsq;
        b.s1 = -15.0 * ecc * b.s4;
        b.s5 = x1 * x3 + x2 * x4;
        b.s6 = x2 * x3 + x1 * x4;
        b.s7 = x2 * x4 - x1 * x3;

        // The Moon's orientation for the second pass.
        zcosg = zcosgl;
        zsing = zsingl;
        zcosi = zcosil;
        zsini = zsinil;
        zcosh = zcoshl * cnodm + zsinhl * snodm;
        zsinh = snodm * zcoshl - cnodm * zsinhl;
        cc = C1L;
    }

    c.zmol = std::fmod(4.7199672 + 0.22997150 * day - gam, TWO_PI);
    c.zmos = std::fmod(6.2565837 + 0.017201977 * day, TWO_PI);
    return c;
}

// The coefficients of the lunar-solar periodics and the secular rates.
void set_lunar_solar_terms(Sgp4DeepSpace& d, const DeepSpaceCommon& c, double incl)
{
    const ThirdBodyTerms& s = c.body[0];
    const ThirdBodyTerms& l = c.body[1];
    const double emsq = c.emsq;

    d.se2 = 2.0 * s.s1 * s.s6;
    d.se3 = 2.0 * s.s1 * s.s7;
    d.si2 = 2.0 * s.s2 * s.z12;
    d.si3 = 2.0 * s.s2 * (s.z13 - s.z11);
    d.sl2 = -2.0 * s.s3 * s.z2;
    d.sl3 = -2.0 * s.s3 * (s.z3 - s.z1);
    d.sl4 = -2.0 * s.s3 * (-21.0 - 9.0 * emsq) * ZES;
    d.sgh2 = 2.0 * s.s4 * s.z32;
    d.sgh3 = 2.0 * s.s4 * (s.z33 - s.z31);
    d.sgh4 = -18.0 * s.s4 * ZES;
    d.sh2 = -2.0 * s.s2 * s.z22;
    d.sh3 = -2.0 * s.s2 * (s.z23 - s.z21);

    d.ee2 = 2.0 * l.s1 * l.s6;
    d.e3 = 2.0 * l.s1 * l.s7;
    d.xi2 = 2.0 * l.s2 * l.z12;
    d.xi3 = 2.0 * l.s2 * (l.z13 - l.z11);
    d.xl2 = -2.0 * l.s3 * l.z2;
    d.xl3 = -2.0 * l.s3 * (l.z3 - l.z1);
    d.xl4 = -2.0 * l.s3 * (-21.0 - 9.0 * emsq) * ZEL;
    d.xgh2 = 2.0 * l.s4 * l.z32;
    d.xgh3 = 2.0 * l.s4 * (l.z33 - l.z31);
    d.xgh4 = -18.0 * l.s4 * ZEL;
    d.xh2 = -2.0 * l.s2 * l.z22;
    d.xh3 = -2.0 * l.s2 * (l.z23 - l.z21);

    d.zmol = c.zmol;
    d.zmos = c.zmos;

    // Secular rates. Near the equator the node is not defined: its solar and
    // lunar rates are left out.
    const double sinim = std::sin(incl);
    const double cosim = std::cos(incl);
    const bool near_equatorial = incl < 5.2359877e-2 || incl > PI - 5.2359877e-2;

    const double ses = s.s1 * ZNS * s.s5;
    const double sis = s.s2 * ZNS * (s.z11 + s.z13);
    const double sls = -ZNS * s.s3 * (s.z1 + s.z3 - 14.0 - 6.0 * emsq);
    const double sghs = s.s4 * ZNS * (s.z31 + s.z33 - 6.0);
    double shs = -ZNS * s.s2 * (s.z21 + s.z23);
    if (near_equatorial) {
        shs = 0.0;
    }
    if (sinim != 0.0) {
        shs = shs / sinim;
    }
    const double sgs = sghs - cosim * shs;

    d.dedt = ses + l.s1 * ZNL * l.s5;
    d.didt = sis + l.s2 * ZNL * (l.z11 + l.z13);
    d.dmdt = sls - ZNL * l.s3 * (l.z1 + l.z3 - 14.0 - 6.0 * emsq);
    const double sghl = l.s4 * ZNL * (l.z31 + l.z33 - 6.0);
    double shll = -ZNL * l.s2 * (l.z21 + l.z23);
    if (near_equatorial) {
        shll = 0.0;
    }
    d.domdt = sgs + sghl;
    d.dnodt = shs;
    if (sinim != 0.0) {
        d.domdt = d.domdt - cosim / sinim * shll;
        d.dnodt = d.dnodt + shll / sinim;
    }
}

// The resonance terms of a 12-hour eccentric orbit or a 24-hour orbit.
void set_resonance_terms(Sgp4DeepSpace& d, const Sgp4Orbit& o)
{
    const double nm = o.no;
    const double em = o.elements.ecc;
    const double incl = o.elements.incl;
    d.resonance = 0;
    if (nm < 0.0052359877 && nm > 0.0034906585) {
        d.resonance = 1;
    }
    if (nm >= 8.26e-3 && nm <= 9.24e-3 && em >= 0.5) {
        d.resonance = 2;
    }
    if (d.resonance == 0) {
        return;
    }

    const double sinim = std::sin(incl);
    const double cosim = std::cos(incl);
    const double emsq = em * em;
    const double theta = std::fmod(d.gsto, TWO_PI);
    const double aonv = std::pow(nm / XKE, TWO_THIRDS);

    if (d.resonance == 2) {
        // Geopotential resonance of 12-hour orbits: the eccentricity
        // functions G are fitted polynomials in e, in two or three ranges.
        constexpr double ROOT22 = 1.7891679e-6;
        constexpr double ROOT44 = 7.3636953e-9;
        constexpr double ROOT54 = 2.1765803e-9;
        constexpr double ROOT32 = 3.7393792e-7;
        constexpr double ROOT52 = 1.1428639e-7;
        const double cosisq = cosim * cosim;
        const double eoc = em * emsq;
        const double g201 = -0.306 - (em - 0.64) * 0.440;
        double g211, g310, g322, g410, g422, g520, g533, g521, g532;
        if (em <= 0.65) {
            g211 = 3.616 - 13.2470 * em + 16.2900 * emsq;
            g310 = -19.302 + 117.3900 * em - 228.4190 * emsq + 156.5910 * eoc;
            g322 = -18.9068 + 109.7927 * em - 214.6334 * emsq + 146.5816 * eoc;
            g410 = -41.122 + 242.6940 * em - 471.0940 * emsq + 313.9530 * eoc;
            g422 = -146.407 + 841.8800 * em - 1629.014 * emsq + 1083.4350 * eoc;
            g520 = -532.114 + 3017.977 * em - 5740.032 * emsq + 3708.2760 * eoc;
        } else {
            g211 = -72.099 + 331.819 * em - 508.738 * emsq + 266.724 * eoc;
            g310 = -346.844 + 1582.851 * em - 2415.925 * emsq + 1246.113 * eoc;
            g322 = -342.585 + 1554.908 * em - 2366.899 * emsq + 1215.972 * eoc;
            g410 = -1052.797 + 4758.686 * em - 7193.992 * emsq + 3651.957 * eoc;
            g422 = -3581.690 + 16178.110 * em - 24462.770 * emsq + 12422.520 * eoc;
            if (em > 0.715) {
                g520 = -5149.66 + 29936.92 * em - 54087.36 * emsq + 31324.56 * eoc;
            } else {
                g520 = 1464.74 - 4664.75 * em + 3763.64 * emsq;
            }
        }
        if (em < 0.7) {
            g533 = -919.22770 + 4988.6100 * em - 9064.7700 * emsq + 5542.21 * eoc;
            g521 = -822.71072 + 4568.6173 * em - 8491.4146 * emsq + 5337.524 * eoc;
            g532 = -853.66600 + 4690.2500 * em - 8624.7700 * emsq + 5341.4 * eoc;
        } else {
            g533 = -37995.780 + 161616.52 * em - 229838.20 * emsq + 109377.94 * eoc;
            g521 = -51752.104 + 218913.95 * em - 309468.16 * emsq + 146349.42 * eoc;
            g532 = -40023.880 + 170470.89 * em - 242699.48 * emsq + 115605.82 * eoc;
        }

        // Inclination functions F.
        const double sini2 = sinim * sinim;
        const double f220 = 0.75 * (1.0 + 2.0 * cosim + cosisq);
        const double f221 = 1.5 * sini2;
        const double f321 = 1.875 * sinim * (1.0 - 2.0 * cosim - 3.0 * cosisq);
        const double f322 = -1.875 * sinim * (1.0 + 2.0 * cosim - 3.0 * cosisq);
        const double f441 = 35.0 * sini2 * f220;
        const double f442 = 39.3750 * sini2 * sini2;
        const double f522 =
            9.84375 * sinim * (sini2 * (1.0 - 2.0 * cosim - 5.0 * cosisq) + 0.33333333 * (-2.0 + 4.0 * cosim + 6.0 * cosisq));
        const double f523 = sinim * (4.92187512 * sini2 * (-2.0 - 4.0 * cosim + 10.0 * cosisq) +
                                     6.56250012 * (1.0 + 2.0 * cosim - 3.0 * cosisq));
        const double f542 = 29.53125 * sinim * (2.0 - 8.0 * cosim + cosisq * (-12.0 + 8.0 * cosim + 10.0 * cosisq));
        const double f543 = 29.53125 * sinim * (-2.0 - 8.0 * cosim + cosisq * (12.0 + 8.0 * cosim - 10.0 * cosisq));

        const double xno2 = nm * nm;
        const double ainv2 = aonv * aonv;
        double temp1 = 3.0 * xno2 * ainv2;
        double temp = temp1 * ROOT22;
        d.d2201 = temp * f220 * g201;
        d.d2211 = temp * f221 * g211;
        temp1 = temp1 * aonv;
        temp = temp1 * ROOT32;
        d.d3210 = temp * f321 * g310;
        d.d3222 = temp * f322 * g322;
        temp1 = temp1 * aonv;
        temp = 2.0 * temp1 * ROOT44;
        d.d4410 = temp * f441 * g410;
        d.d4422 = temp * f442 * g422;
        temp1 = temp1 * aonv;
        temp = temp1 * ROOT52;
        d.d5220 = temp * f522 * g520;
        d.d5232 = temp * f523 * g532;
        temp = 2.0 * temp1 * ROOT54;
        d.d5421 = temp * f542 * g521;
        d.d5433 = temp * f543 * g533;
        d.xlamo = std::fmod(o.elements.mean_anom + o.elements.node + o.elements.node - theta - theta, TWO_PI);
        d.xfact = o.mdot + d.dmdt + 2.0 * (o.nodedot + d.dnodt - EARTH_ROTATION) - o.no;
    } else {
        // Synchronous resonance: the J22, J31 and J33 terms.
        constexpr double Q22 = 1.7891679e-6;
        constexpr double Q31 = 2.1460748e-6;
        constexpr double Q33 = 2.2123015e-7;
        const double g200 = 1.0 + emsq * (-2.5 + 0.8125 * emsq);
        const double g310 = 1.0 + 2.0 * emsq;
        const double g300 = 1.0 + emsq * (-6.0 + 6.60937 * emsq);
        const double f220 = 0.75 * (1.0 + cosim) * (1.0 + cosim);
        const double f311 = 0.9375 * sinim * sinim * (1.0 + 3.0 * cosim) - 0.75 * (1.0 + cosim);
        double f330 = 1.0 + cosim;
        f330 = 1.875 * f330 * f330 * f330;
        const double del1 = 3.0 * nm * nm * aonv * aonv;
        d.del2 = 2.0 * del1 * f220 * g200 * Q22;
        d.del3 = 3.0 * del1 * f330 * g300 * Q33 * aonv;
        d.del1 = del1 * f311 * g310 * Q31 * aonv;
        d.xlamo = std::fmod(o.elements.mean_anom + o.elements.node + o.elements.argp - theta, TWO_PI);
        const double xpidot = o.argpdot + o.nodedot;
        d.xfact = o.mdot + xpidot - EARTH_ROTATION + d.dmdt + d.domdt + d.dnodt - o.no;
    }
}

// Mean elements at a time, changed by the secular, drag and deep-space terms.
struct MeanElements {
    double nm, em, inclm, nodem, argpm, mm;
};

// Beyond this many minutes from the epoch (about 190 years) the resonance
// is not integrated: the mean motion becomes NaN and reads as not positive.
constexpr double MAX_RESONANCE_MINUTES = 1.0e8;

// The resonant mean motion and mean anomaly at `t` minutes: the resonance
// equations integrated from the epoch in steps of 720 minutes (second-order
// Euler-Maclaurin steps), then a Taylor step to `t`. `m` holds the elements
// with the secular terms applied; its mean motion and mean anomaly are replaced.
void apply_resonance(const Sgp4Orbit& o, double t, MeanElements& m)
{
    constexpr double FASX2 = 0.13130908;
    constexpr double FASX4 = 2.8843198;
    constexpr double FASX6 = 0.37448087;
    constexpr double G22 = 5.7686396;
    constexpr double G32 = 0.95240898;
    constexpr double G44 = 1.8014998;
    constexpr double G52 = 1.0508330;
    constexpr double G54 = 4.4108898;
    constexpr double STEP = 720.0;
    constexpr double STEP2 = 259200.0;  // STEP^2 / 2

    const Sgp4DeepSpace& d = o.deep;
    if (!(std::fabs(t) <= MAX_RESONANCE_MINUTES)) {
        m.nm = std::numeric_limits<double>::quiet_NaN();
        return;
    }
    const double theta = std::fmod(d.gsto + t * EARTH_ROTATION, TWO_PI);
    const double delt = t > 0.0 ? STEP : -STEP;
    double atime = 0.0;
    double xni = o.no;
    double xli = d.xlamo;
    double xndt = 0.0;
    double xldot = 0.0;
    double xnddt = 0.0;
    double ft = 0.0;
    for (;;) {
        if (d.resonance != 2) {
            xndt = d.del1 * std::sin(xli - FASX2) + d.del2 * std::sin(2.0 * (xli - FASX4)) +
                   d.del3 * std::sin(3.0 * (xli - FASX6));
            xldot = xni + d.xfact;
            xnddt = d.del1 * std::cos(xli - FASX2) + 2.0 * d.del2 * std::cos(2.0 * (xli - FASX4)) +
                    3.0 * d.del3 * std::cos(3.0 * (xli - FASX6));
            xnddt = xnddt * xldot;
        } else {
            const double xomi = o.elements.argp + o.argpdot * atime;
            const double x2omi = xomi + xomi;
            const double x2li = xli + xli;
            xndt = d.d2201 * std::sin(x2omi + xli - G22) + d.d2211 * std::sin(xli - G22) +
                   d.d3210 * std::sin(xomi + xli - G32) + d.d3222 * std::sin(-xomi + xli - G32) +
                   d.d4410 * std::sin(x2omi + x2li - G44) + d.d4422 * std::sin(x2li - G44) +
                   d.d5220 * std::sin(xomi + xli - G52) + d.d5232 * std::sin(-xomi + xli - G52) +
                   d.d5421 * std::sin(xomi + x2li - G54) + d.d5433 * std::sin(-xomi + x2li - G54);
            xldot = xni + d.xfact;
            xnddt = d.d2201 * std::cos(x2omi + xli - G22) + d.d2211 * std::cos(xli - G22) +
                    d.d3210 * std::cos(xomi + xli - G32) + d.d3222 * std::cos(-xomi + xli - G32) +
                    d.d5220 * std::cos(xomi + xli - G52) + d.d5232 * std::cos(-xomi + xli - G52) +
                    2.0 * (d.d4410 * std::cos(x2omi + x2li - G44) + d.d4422 * std::cos(x2li - G44) +
                           d.d5421 * std::cos(xomi + x2li - G54) + d.d5433 * std::cos(-xomi + x2li - G54));
            xnddt = xnddt * xldot;
        }
        if (std::fabs(t - atime) < STEP) {
            ft = t - atime;
            break;
        }
        xli = xli + xldot * delt + xndt * STEP2;
        xni = xni + xndt * delt + xnddt * STEP2;
        atime = atime + delt;
    }
    const double nm = xni + xndt * ft + xnddt * ft * ft * 0.5;
    const double xl = xli + xldot * ft + xndt * ft * ft * 0.5;
    if (d.resonance != 1) {
        m.mm = xl - 2.0 * m.nodem + 2.0 * theta;
    } else {
        m.mm = xl - m.nodem - m.argpm + theta;
    }
    const double dndt = nm - o.no;
    m.nm = o.no + dndt;
}

// Osculating-like elements after the lunar-solar periodics at `t` minutes.
struct PeriodicElements {
    double ep, inclp, nodep, argpp, mp;
};

// The lunar and solar periodics added to the mean elements. Below 0.2 rad of
// inclination they are applied to the node and perigee through the
// components of the pole (Lyddane's form), which stay defined at i = 0.
PeriodicElements apply_lunar_solar_periodics(const Sgp4DeepSpace& d, double t, PeriodicElements p)
{
    double zm = d.zmos + ZNS * t;
    double zf = zm + 2.0 * ZES * std::sin(zm);
    double sinzf = std::sin(zf);
    double f2 = 0.5 * sinzf * sinzf - 0.25;
    double f3 = -0.5 * sinzf * std::cos(zf);
    const double ses = d.se2 * f2 + d.se3 * f3;
    const double sis = d.si2 * f2 + d.si3 * f3;
    const double sls = d.sl2 * f2 + d.sl3 * f3 + d.sl4 * sinzf;
    const double sghs = d.sgh2 * f2 + d.sgh3 * f3 + d.sgh4 * sinzf;
    const double shs = d.sh2 * f2 + d.sh3 * f3;

    zm = d.zmol + ZNL * t;
    zf = zm + 2.0 * ZEL * std::sin(zm);
    sinzf = std::sin(zf);
    f2 = 0.5 * sinzf * sinzf - 0.25;
    f3 = -0.5 * sinzf * std::cos(zf);
    const double sel = d.ee2 * f2 + d.e3 * f3;
    const double sil = d.xi2 * f2 + d.xi3 * f3;
    const double sll = d.xl2 * f2 + d.xl3 * f3 + d.xl4 * sinzf;
    const double sghl = d.xgh2 * f2 + d.xgh3 * f3 + d.xgh4 * sinzf;
    const double shll = d.xh2 * f2 + d.xh3 * f3;

    const double pe = ses + sel;
    const double pinc = sis + sil;
    const double pl = sls + sll;
    double pgh = sghs + sghl;
    double ph = shs + shll;

    p.inclp = p.inclp + pinc;
    p.ep = p.ep + pe;
    const double sinip = std::sin(p.inclp);
    const double cosip = std::cos(p.inclp);
    if (p.inclp >= 0.2) {
        ph = ph / sinip;
        pgh = pgh - cosip * ph;
        p.argpp = p.argpp + pgh;
        p.nodep = p.nodep + ph;
        p.mp = p.mp + pl;
        return p;
    }
    const double sinop = std::sin(p.nodep);
    const double cosop = std::cos(p.nodep);
    double alfdp = sinip * sinop;
    double betdp = sinip * cosop;
    const double dalf = ph * cosop + pinc * cosip * sinop;
    const double dbet = -ph * sinop + pinc * cosip * cosop;
    alfdp = alfdp + dalf;
    betdp = betdp + dbet;
    p.nodep = std::fmod(p.nodep, TWO_PI);
    double xls = p.mp + p.argpp + cosip * p.nodep;
    const double dls = pl + pgh - pinc * p.nodep * sinip;
    xls = xls + dls;
    const double xnoh = p.nodep;
    p.nodep = std::atan2(alfdp, betdp);
    if (std::fabs(xnoh - p.nodep) > PI) {
        if (p.nodep < xnoh) {
            p.nodep = p.nodep + TWO_PI;
        } else {
            p.nodep = p.nodep - TWO_PI;
        }
    }
    p.mp = p.mp + pl;
    p.argpp = xls - p.mp - cosip * p.nodep;
    return p;
}

}  // namespace

Sgp4Orbit sgp4_orbit(const Sgp4Elements& elements)
{
    Sgp4Orbit o{};
    o.elements = elements;
    const double ecco = elements.ecc;
    const double inclo = elements.incl;
    if (!(elements.mean_motion > 0.0)) {
        o.error = SGP4_MEAN_MOTION;
        return o;
    }
    if (!(ecco >= 0.0 && ecco < 1.0)) {
        o.error = SGP4_MEAN_ECCENTRICITY;
        return o;
    }

    // The Brouwer mean motion and semi-major axis from the Kozai mean motion.
    const double eccsq = ecco * ecco;
    const double omeosq = 1.0 - eccsq;
    const double rteosq = std::sqrt(omeosq);
    const double cosio = std::cos(inclo);
    const double cosio2 = cosio * cosio;
    const double ak = std::pow(XKE / elements.mean_motion, TWO_THIRDS);
    const double d1 = 0.75 * SGP4_J2 * (3.0 * cosio2 - 1.0) / (rteosq * omeosq);
    double del = d1 / (ak * ak);
    const double adel = ak * (1.0 - del * del - del * (1.0 / 3.0 + 134.0 * del * del / 81.0));
    del = d1 / (adel * adel);
    o.no = elements.mean_motion / (1.0 + del);
    o.ao = std::pow(XKE / o.no, TWO_THIRDS);
    o.sinio = std::sin(inclo);
    o.cosio = cosio;
    const double po = o.ao * omeosq;
    const double con42 = 1.0 - 5.0 * cosio2;
    o.con41 = -con42 - cosio2 - cosio2;
    const double posq = po * po;
    const double rp = o.ao * (1.0 - ecco);

    // Perigee height sets the drag model: the atmosphere's reference
    // altitude s moves down for low perigees (below 156 km, 20 km under 98 km).
    o.simple_drag = rp < 220.0 / SGP4_EARTH_RADIUS_KM + 1.0;
    double sfour = 78.0 / SGP4_EARTH_RADIUS_KM + 1.0;
    double qzms24 = fourth_power((120.0 - 78.0) / SGP4_EARTH_RADIUS_KM);
    const double perige = (rp - 1.0) * SGP4_EARTH_RADIUS_KM;
    if (perige < 156.0) {
        sfour = perige - 78.0;
        if (perige < 98.0) {
            sfour = 20.0;
        }
        qzms24 = fourth_power((120.0 - sfour) / SGP4_EARTH_RADIUS_KM);
        sfour = sfour / SGP4_EARTH_RADIUS_KM + 1.0;
    }
    const double pinvsq = 1.0 / posq;
    const double tsi = 1.0 / (o.ao - sfour);
    o.eta = o.ao * ecco * tsi;
    const double etasq = o.eta * o.eta;
    const double eeta = ecco * o.eta;
    const double psisq = std::fabs(1.0 - etasq);
    const double coef = qzms24 * fourth_power(tsi);
    const double coef1 = coef / (psisq * psisq * psisq * std::sqrt(psisq));
    const double cc2 = coef1 * o.no *
                       (o.ao * (1.0 + 1.5 * etasq + eeta * (4.0 + etasq)) +
                        0.375 * SGP4_J2 * tsi / psisq * o.con41 * (8.0 + 3.0 * etasq * (8.0 + etasq)));
    o.cc1 = elements.bstar * cc2;
    double cc3 = 0.0;
    if (ecco > 1.0e-4) {
        cc3 = -2.0 * coef * tsi * J3_OVER_J2 * o.no * o.sinio / ecco;
    }
    o.x1mth2 = 1.0 - cosio2;
    o.cc4 = 2.0 * o.no * coef1 * o.ao * omeosq *
            (o.eta * (2.0 + 0.5 * etasq) + ecco * (0.5 + 2.0 * etasq) -
             SGP4_J2 * tsi / (o.ao * psisq) *
                 (-3.0 * o.con41 * (1.0 - 2.0 * eeta + etasq * (1.5 - 0.5 * eeta)) +
                  0.75 * o.x1mth2 * (2.0 * etasq - eeta * (1.0 + etasq)) * std::cos(2.0 * elements.argp)));
    o.cc5 = 2.0 * coef1 * o.ao * omeosq * (1.0 + 2.75 * (etasq + eeta) + eeta * etasq);

    // Secular rates of the mean anomaly, perigee and node from J2 and J4.
    const double cosio4 = cosio2 * cosio2;
    const double temp1 = 1.5 * SGP4_J2 * pinvsq * o.no;
    const double temp2 = 0.5 * temp1 * SGP4_J2 * pinvsq;
    const double temp3 = -0.46875 * SGP4_J4 * pinvsq * pinvsq * o.no;
    o.mdot = o.no + 0.5 * temp1 * rteosq * o.con41 + 0.0625 * temp2 * rteosq * (13.0 - 78.0 * cosio2 + 137.0 * cosio4);
    o.argpdot = -0.5 * temp1 * con42 + 0.0625 * temp2 * (7.0 - 114.0 * cosio2 + 395.0 * cosio4) +
                temp3 * (3.0 - 36.0 * cosio2 + 49.0 * cosio4);
    const double xhdot1 = -temp1 * cosio;
    o.nodedot = xhdot1 + (0.5 * temp2 * (4.0 - 19.0 * cosio2) + 2.0 * temp3 * (3.0 - 7.0 * cosio2)) * cosio;
    o.omgcof = elements.bstar * cc3 * std::cos(elements.argp);
    o.xmcof = 0.0;
    if (ecco > 1.0e-4) {
        o.xmcof = -TWO_THIRDS * coef * elements.bstar / eeta;
    }
    o.nodecf = 3.5 * omeosq * xhdot1 * o.cc1;
    o.t2cof = 1.5 * o.cc1;
    // At i = 180 degrees the 1 + cos i of the J3 term is replaced by a small constant.
    const double one_plus_cos = std::fabs(cosio + 1.0) > 1.5e-12 ? 1.0 + cosio : 1.5e-12;
    o.xlcof = -0.25 * J3_OVER_J2 * o.sinio * (3.0 + 5.0 * cosio) / one_plus_cos;
    o.aycof = -0.5 * J3_OVER_J2 * o.sinio;
    const double delmo = 1.0 + o.eta * std::cos(elements.mean_anom);
    o.delmo = delmo * delmo * delmo;
    o.sinmao = std::sin(elements.mean_anom);
    o.x7thm1 = 7.0 * cosio2 - 1.0;

    if (TWO_PI / o.no >= 225.0) {
        o.deep_space = true;
        o.simple_drag = true;
        // Sidereal angle at the epoch, UT1 taken as UTC. The epoch goes
        // through a Julian date held in a double (steps of 4.7e-10 day), as
        // the published verification states have it: near the perigee of a
        // very eccentric orbit that rounding moves the place by micrometres.
        const double epoch_jd = elements.epoch_utc_mjd + 2400000.5;
        o.deep.gsto = greenwich_sidereal_angle(epoch_jd);
        const double days_since_1950 = epoch_jd - 2433281.5;
        const DeepSpaceCommon common =
            deep_space_common(days_since_1950, ecco, elements.argp, inclo, elements.node, o.no);
        set_lunar_solar_terms(o.deep, common, inclo);
        set_resonance_terms(o.deep, o);
    }

    if (!o.simple_drag) {
        const double cc1sq = o.cc1 * o.cc1;
        o.d2 = 4.0 * o.ao * tsi * cc1sq;
        const double temp = o.d2 * tsi * o.cc1 / 3.0;
        o.d3 = (17.0 * o.ao + sfour) * temp;
        o.d4 = 0.5 * temp * o.ao * tsi * (221.0 * o.ao + 31.0 * sfour) * o.cc1;
        o.t3cof = o.d2 + 2.0 * cc1sq;
        o.t4cof = 0.25 * (3.0 * o.d3 + o.cc1 * (12.0 * o.d2 + 10.0 * cc1sq));
        o.t5cof = 0.2 * (3.0 * o.d4 + 12.0 * o.cc1 * o.d3 + 6.0 * o.d2 * o.d2 + 15.0 * cc1sq * (2.0 * o.d2 + cc1sq));
    }
    return o;
}

Sgp4State sgp4_state(const Sgp4Orbit& o, double t)
{
    Sgp4State state{};
    if (o.error != SGP4_OK) {
        state.error = o.error;
        return state;
    }
    const Sgp4Elements& e = o.elements;

    // Secular gravity and drag.
    const double xmdf = e.mean_anom + o.mdot * t;
    const double argpdf = e.argp + o.argpdot * t;
    const double nodedf = e.node + o.nodedot * t;
    const double t2 = t * t;
    MeanElements m{o.no, e.ecc, e.incl, nodedf + o.nodecf * t2, argpdf, xmdf};
    double tempa = 1.0 - o.cc1 * t;
    double tempe = e.bstar * o.cc4 * t;
    double templ = o.t2cof * t2;
    if (!o.simple_drag) {
        const double delomg = o.omgcof * t;
        const double delmtemp = 1.0 + o.eta * std::cos(xmdf);
        const double delm = o.xmcof * (delmtemp * delmtemp * delmtemp - o.delmo);
        const double temp = delomg + delm;
        m.mm = xmdf + temp;
        m.argpm = argpdf - temp;
        const double t3 = t2 * t;
        const double t4 = t3 * t;
        tempa = tempa - o.d2 * t2 - o.d3 * t3 - o.d4 * t4;
        tempe = tempe + e.bstar * o.cc5 * (std::sin(m.mm) - o.sinmao);
        templ = templ + o.t3cof * t3 + t4 * (o.t4cof + t * o.t5cof);
    }

    if (o.deep_space) {
        const Sgp4DeepSpace& d = o.deep;
        m.em = m.em + d.dedt * t;
        m.inclm = m.inclm + d.didt * t;
        m.argpm = m.argpm + d.domdt * t;
        m.nodem = m.nodem + d.dnodt * t;
        m.mm = m.mm + d.dmdt * t;
        if (d.resonance != 0) {
            apply_resonance(o, t, m);
        }
    }

    if (!(m.nm > 0.0)) {
        state.error = SGP4_MEAN_MOTION;
        return state;
    }
    const double am = std::pow(XKE / m.nm, TWO_THIRDS) * tempa * tempa;
    const double nm = XKE / (am * std::sqrt(am));
    double em = m.em - tempe;
    if (!(em < 1.0 && em >= -0.001)) {
        state.error = SGP4_MEAN_ECCENTRICITY;
        return state;
    }
    if (em < 1.0e-6) {
        em = 1.0e-6;
    }
    m.mm = m.mm + o.no * templ;
    double xlm = m.mm + m.argpm + m.nodem;
    m.nodem = std::fmod(m.nodem, TWO_PI);
    m.argpm = std::fmod(m.argpm, TWO_PI);
    xlm = std::fmod(xlm, TWO_PI);
    m.mm = std::fmod(xlm - m.argpm - m.nodem, TWO_PI);

    PeriodicElements p{em, m.inclm, m.nodem, m.argpm, m.mm};
    // Near the Earth the inclination keeps its epoch value.
    double sinip = o.sinio;
    double cosip = o.cosio;
    double aycof = o.aycof;
    double xlcof = o.xlcof;
    double con41 = o.con41;
    double x1mth2 = o.x1mth2;
    double x7thm1 = o.x7thm1;
    if (o.deep_space) {
        p = apply_lunar_solar_periodics(o.deep, t, p);
        if (p.inclp < 0.0) {
            p.inclp = -p.inclp;
            p.nodep = p.nodep + PI;
            p.argpp = p.argpp - PI;
        }
        if (!(p.ep >= 0.0 && p.ep <= 1.0)) {
            state.error = SGP4_PERTURBED_ECCENTRICITY;
            return state;
        }
        sinip = std::sin(p.inclp);
        cosip = std::cos(p.inclp);
        aycof = -0.5 * J3_OVER_J2 * sinip;
        const double one_plus_cos = std::fabs(cosip + 1.0) > 1.5e-12 ? 1.0 + cosip : 1.5e-12;
        xlcof = -0.25 * J3_OVER_J2 * sinip * (3.0 + 5.0 * cosip) / one_plus_cos;
        const double cosisq = cosip * cosip;
        con41 = 3.0 * cosisq - 1.0;
        x1mth2 = 1.0 - cosisq;
        x7thm1 = 7.0 * cosisq - 1.0;
    }

    // Long-period periodics (J3).
    const double axnl = p.ep * std::cos(p.argpp);
    double temp = 1.0 / (am * (1.0 - p.ep * p.ep));
    const double aynl = p.ep * std::sin(p.argpp) + temp * aycof;
    const double xl = p.mp + p.argpp + p.nodep + temp * xlcof * axnl;

    // Kepler's equation for E + omega, Newton steps limited to 0.95 rad.
    const double u = std::fmod(xl - p.nodep, TWO_PI);
    double eo1 = u;
    double sineo1 = 0.0;
    double coseo1 = 0.0;
    double tem5 = 9999.9;
    for (int k = 1; std::fabs(tem5) >= 1.0e-12 && k <= 10; ++k) {
        sineo1 = std::sin(eo1);
        coseo1 = std::cos(eo1);
        tem5 = 1.0 - coseo1 * axnl - sineo1 * aynl;
        tem5 = (u - aynl * coseo1 + axnl * sineo1 - eo1) / tem5;
        if (std::fabs(tem5) >= 0.95) {
            tem5 = tem5 > 0.0 ? 0.95 : -0.95;
        }
        eo1 = eo1 + tem5;
    }

    // Short-period periodics (J2).
    const double ecose = axnl * coseo1 + aynl * sineo1;
    const double esine = axnl * sineo1 - aynl * coseo1;
    const double el2 = axnl * axnl + aynl * aynl;
    const double pl = am * (1.0 - el2);
    if (!(pl >= 0.0)) {
        state.error = SGP4_SEMI_LATUS_RECTUM;
        return state;
    }
    const double rl = am * (1.0 - ecose);
    const double rdotl = std::sqrt(am) * esine / rl;
    const double rvdotl = std::sqrt(pl) / rl;
    const double betal = std::sqrt(1.0 - el2);
    temp = esine / (1.0 + betal);
    const double sinu = am / rl * (sineo1 - aynl - axnl * temp);
    const double cosu = am / rl * (coseo1 - axnl + aynl * temp);
    double su = std::atan2(sinu, cosu);
    const double sin2u = (cosu + cosu) * sinu;
    const double cos2u = 1.0 - 2.0 * sinu * sinu;
    temp = 1.0 / pl;
    const double temp1 = 0.5 * SGP4_J2 * temp;
    const double temp2 = temp1 * temp;

    const double mrt = rl * (1.0 - 1.5 * temp2 * betal * con41) + 0.5 * temp1 * x1mth2 * cos2u;
    su = su - 0.25 * temp2 * x7thm1 * sin2u;
    const double xnode = p.nodep + 1.5 * temp2 * cosip * sin2u;
    const double xinc = p.inclp + 1.5 * temp2 * cosip * sinip * cos2u;
    const double mvt = rdotl - nm * temp1 * x1mth2 * sin2u / XKE;
    const double rvdot = rvdotl + nm * temp1 * (x1mth2 * cos2u + 1.5 * con41) / XKE;

    // Orientation vectors: u towards the satellite, v along its motion.
    const double sinsu = std::sin(su);
    const double cossu = std::cos(su);
    const double snod = std::sin(xnode);
    const double cnod = std::cos(xnode);
    const double sini = std::sin(xinc);
    const double cosi = std::cos(xinc);
    const double xmx = -snod * cosi;
    const double xmy = cnod * cosi;
    const double ux = xmx * sinsu + cnod * cossu;
    const double uy = xmy * sinsu + snod * cossu;
    const double uz = sini * sinsu;
    const double vx = xmx * cossu - cnod * sinsu;
    const double vy = xmy * cossu - snod * sinsu;
    const double vz = sini * cossu;

    const double km_per_s = SGP4_EARTH_RADIUS_KM * XKE / 60.0;
    state.position(1) = mrt * ux * SGP4_EARTH_RADIUS_KM;
    state.position(2) = mrt * uy * SGP4_EARTH_RADIUS_KM;
    state.position(3) = mrt * uz * SGP4_EARTH_RADIUS_KM;
    state.velocity(1) = (mvt * ux + rvdot * vx) * km_per_s;
    state.velocity(2) = (mvt * uy + rvdot * vy) * km_per_s;
    state.velocity(3) = (mvt * uz + rvdot * vz) * km_per_s;
    if (mrt < 1.0) {
        state.error = SGP4_DECAYED;
    }
    return state;
}

const char* sgp4_error_text(int error)
{
    switch (error) {
    case SGP4_OK:
        return "no error";
    case SGP4_MEAN_ECCENTRICITY:
        return "mean eccentricity out of range";
    case SGP4_MEAN_MOTION:
        return "mean motion not positive";
    case SGP4_PERTURBED_ECCENTRICITY:
        return "perturbed eccentricity out of range";
    case SGP4_SEMI_LATUS_RECTUM:
        return "semi-latus rectum negative";
    case SGP4_DECAYED:
        return "decayed";
    default:
        return "unknown error";
    }
}

}  // namespace fieldsearch
