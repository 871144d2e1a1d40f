#!/usr/bin/python3
"""Checks the image frames of astfield and satfield against an independent
WCS implementation (astropy's, over WCSLIB) and an independent reader of
region files (the regions package). Needs Debian's python3-astropy,
python3-regions and python3-numpy: run it with /usr/bin/python3.

usage:
  frames_independent_check.py BIN_DIR DATA_DIR [--quick] [--keep DIR]

--quick checks four of the 28 projections and, of the frames partly off the
sky, the wide SIN and the satellites' all-sky camera (the test suite runs
it so); --keep writes the frames and region files to DIR and keeps them.

It writes FITS files as instruments and archives write them (a space
telescope's SIP camera with lookup-table distortions in image extensions,
an infrared camera with SIP, a survey camera with TPV, a digitised plate in
FK4 B1950, an amateur CCD with an FK5 header and its date and time on
separate cards, a multi-extension file whose extension inherits the primary
header, the 28 projections of a radio map, and all-sky and wide frames that
lie only partly on the sky), runs the programs of BIN_DIR on them in
DATA_DIR (the sample catalogues), and compares:

- every row's pixel position (x, y, and x_start .. y_end with an exposure)
  with astropy's of the row's place, the place brought from the mean
  equator and equinox of J2000 to the frame's system here: through ERFA's
  frame bias matrix for an ICRS frame (not astropy's FK5 to ICRS tie, which
  is another model), with ERFA's fk54z at epoch B1950.0 for an FK4 frame;
- which objects are listed against which lie inside the widened footprint
  by astropy: every object that square searches covering the frame list at
  the same instant is listed exactly when its astropy pixel is inside
  (objects within 0.01 pixel of the boundary are not judged);
- every circle of the region file, read by the regions package and placed
  on the image by astropy, with its row's pixel position.

Astropy 5.2.1 (Debian's) reads a lookup table 1 - 1/CDELT of a table cell
off the distortion paper's definition (index = CRPIX + (p - CRVAL) / CDELT);
the copy it is given has each table's CRPIX set to CRPIX - 1 + 1/CDELT to
undo that. Astropy knows nothing of INHERIT: it is given the extension's
header merged with the primary's as the convention says.

Prints one line per frame and a summary; exits 1 when a figure exceeds its
bound (0.002 pixel, 0.005 with lookup tables) or a membership differs.
"""
import argparse
import csv
import io
import math
import os
import shutil
import subprocess
import sys
import tempfile
import warnings

import erfa
import numpy as np
from astropy.io import fits
from astropy.wcs import WCS, FITSFixedWarning
import regions

warnings.simplefilter("ignore", FITSFixedWarning)
warnings.simplefilter("ignore", RuntimeWarning)

SITE_M = (3395030.3, 3128791.1, 4388851.1)
AST_TIME = "2008-05-20T05:13:30"
SAT_TIME = "2008-05-20T20:53:30"
PLATE_TIME = "1955-03-04T03:20:15"
AST_CENTRE = (10.0 / 240.0, 0.5)
SAT_CENTRE = (172.0, 1.0 + 16.0 / 60.0)
PIXEL_BOUND = 0.002
LOOKUP_BOUND = 0.005
EDGE_MARGIN = 0.01


# ------------------------------------------------------------------ systems

def bias_matrix():
    """ERFA's frame bias matrix: ICRS to the mean equator and equinox of J2000."""
    rb, _, _ = erfa.bp00(2451545.0, 0.0)
    return np.array(rb)


RB = bias_matrix()


def unit(ra, dec):
    a, d = math.radians(ra), math.radians(dec)
    return np.array([math.cos(d) * math.cos(a), math.cos(d) * math.sin(a), math.sin(d)])


def spherical(v):
    ra = math.degrees(math.atan2(v[1], v[0])) % 360.0
    dec = math.degrees(math.atan2(v[2], math.hypot(v[0], v[1])))
    return ra, dec


def to_system(system, ra, dec):
    """A J2000 (mean equator and equinox) place in the frame's system, degrees."""
    if system == "icrs":
        return spherical(RB.T @ unit(ra, dec))
    if system == "fk4":
        r, d, _, _ = erfa.fk54z(math.radians(ra), math.radians(dec), 1950.0)
        return math.degrees(r) % 360.0, math.degrees(d)
    return ra, dec


# ------------------------------------------------------------------ headers

def primary_with(cards, data_shape=(0,)):
    """A primary HDU of bytes of the given shape (numpy order: rows, columns)."""
    data = None if data_shape == (0,) else np.zeros(data_shape, dtype=np.uint8)
    hdu = fits.PrimaryHDU(data=data)
    for key, value in cards:
        hdu.header.append((key, value), end=True)
    return hdu


def observation(time=AST_TIME, exposure=60.0):
    return [("DATE-OBS", time), ("EXPTIME", exposure), ("OBSGEO-X", SITE_M[0]), ("OBSGEO-Y", SITE_M[1]),
            ("OBSGEO-Z", SITE_M[2])]


def tan(crval, scale_deg, size, rotation_deg=0.0, code="TAN", system=None):
    """The cards of a frame of `size` (naxis1, naxis2) pixels of scale_deg
    about crval, east left and north up, rotated by rotation_deg."""
    c, s = math.cos(math.radians(rotation_deg)), math.sin(math.radians(rotation_deg))
    cards = [("CTYPE1", "RA---" + code), ("CTYPE2", "DEC--" + code),
             ("CRPIX1", (size[0] + 1) / 2.0), ("CRPIX2", (size[1] + 1) / 2.0),
             ("CRVAL1", crval[0]), ("CRVAL2", crval[1]),
             ("CD1_1", -scale_deg * c), ("CD1_2", scale_deg * s), ("CD2_1", scale_deg * s), ("CD2_2", scale_deg * c)]
    if system is not None:
        cards += system
    return cards


def sip_cards(order, coefficients):
    cards = [("A_ORDER", order), ("B_ORDER", order)]
    for (p, q), (a, b) in coefficients.items():
        cards += [(f"A_{p}_{q}", a), (f"B_{p}_{q}", b)]
    return cards


class Frame:
    """One test frame: its file, the HDU with the WCS, how to build astropy's
    WCS, its system, the program and the instant of its rows."""

    def __init__(self, name, program, hdul, system, hdu=0, lookup=False, inherit=False, time=AST_TIME,
                 exposure=True):
        self.name = name
        self.program = program
        self.hdul = hdul
        self.system = system
        self.hdu = hdu
        self.lookup = lookup
        self.inherit = inherit
        self.time = time
        self.exposure = exposure

    def header(self):
        h = self.hdul[self.hdu].header.copy()
        if self.inherit:
            for card in self.hdul[0].header.cards:
                if card.keyword in ("SIMPLE", "BITPIX", "NAXIS", "NAXIS1", "NAXIS2", "EXTEND", "COMMENT", "HISTORY",
                                    ""):
                    continue
                if card.keyword not in h:
                    h.append((card.keyword, card.value), end=True)
        return h

    def astropy_wcs(self, for_regions=False):
        header = self.header()
        if for_regions:
            # The region file's fk4 is at the epoch B1950: a WCS frame at
            # the plate's date would add astropy's E-terms drift in between.
            for key in ("DATE-OBS", "MJD-OBS", "DATE-BEG", "MJD-BEG", "DATE-AVG", "MJD-AVG"):
                header.remove(key, ignore_missing=True, remove_all=True)
        if not self.lookup:
            return WCS(header, relax=True)
        fixed = fits.HDUList([hdu.copy() for hdu in self.hdul])
        for hdu in fixed:
            if hdu.header.get("EXTNAME") in ("WCSDVARR", "D2IMARR"):
                for axis in (1, 2):
                    cdelt = hdu.header.get(f"CDELT{axis}", 1.0)
                    hdu.header[f"CRPIX{axis}"] = hdu.header.get(f"CRPIX{axis}", 0.0) - 1.0 + 1.0 / cdelt
        return WCS(header, fixed, relax=True)


def lookup_table_hdu(name, extver, values, crpix, crval, cdelt):
    hdu = fits.ImageHDU(data=np.asarray(values, dtype=np.float32))
    hdu.header["EXTNAME"] = name
    hdu.header["EXTVER"] = extver
    for axis in (1, 2):
        hdu.header[f"CRPIX{axis}"] = crpix[axis - 1]
        hdu.header[f"CRVAL{axis}"] = crval[axis - 1]
        hdu.header[f"CDELT{axis}"] = cdelt[axis - 1]
    return hdu


def record(key, text):
    """A record-valued card of the distortion paper: KEY = 'FIELD: value'."""
    return fits.Card(key, text)


def near_asteroid(offset=(0.0, 0.0)):
    """A place near an asteroid of the sample field (1974 EG54 at 05:13:30)."""
    return (359.48858 + offset[0], 0.29629 + offset[1])


def frames(quick):
    """The frames of the check."""
    out = []
    icrs = [("RADESYS", "ICRS")]
    fk5 = [("RADESYS", "FK5"), ("EQUINOX", 2000.0)]

    # A space telescope's SIP-4 camera, calibrated: SIP with lookup tables
    # (CPDIS) and a detector-to-image column correction (D2IM) in image
    # extensions, in a SCI extension under a primary that holds the dates.
    size = (512, 512)
    science = tan(near_asteroid((0.002, -0.001)), 0.05 / 3600 * 20, size, 12.0, "TAN-SIP", icrs)
    science += sip_cards(4, {(2, 0): (3.1e-7, -1.2e-7), (1, 1): (-2.2e-7, 2.5e-7), (0, 2): (1.4e-7, 4.0e-7),
                             (3, 0): (2.0e-10, 1.0e-10), (2, 1): (-1.5e-10, 3.0e-10), (0, 3): (1.0e-10, -2.0e-10),
                             (4, 0): (1.0e-13, 2.0e-13), (2, 2): (-3.0e-13, 1.0e-13), (0, 4): (2.0e-13, -1.0e-13)})
    primary = primary_with(observation())
    sci = fits.ImageHDU(data=np.zeros((size[1], size[0]), dtype=np.uint8))
    sci.header["EXTNAME"] = "SCI"
    sci.header["INHERIT"] = True
    for key, value in science:
        sci.header[key] = value
    for axis in (1, 2):
        sci.header[f"CPDIS{axis}"] = "Lookup"
        sci.header.append(record(f"DP{axis}", f"EXTVER: {axis}"), end=True)
        sci.header.append(record(f"DP{axis}", "NAXES: 2"), end=True)
        sci.header.append(record(f"DP{axis}", "AXIS.1: 1"), end=True)
        sci.header.append(record(f"DP{axis}", "AXIS.2: 2"), end=True)
    sci.header["D2IMDIS1"] = "Lookup"
    sci.header.append(record("D2IM1", "EXTVER: 1"), end=True)
    sci.header.append(record("D2IM1", "NAXES: 2"), end=True)
    sci.header.append(record("D2IM1", "AXIS.1: 1"), end=True)
    sci.header.append(record("D2IM1", "AXIS.2: 2"), end=True)
    jj, ii = np.mgrid[0:17, 0:33]
    cp1 = 0.08 * np.sin(ii / 5.0) + 0.05 * np.cos(jj / 3.0)
    cp2 = -0.06 * np.cos(ii / 4.0) + 0.04 * np.sin(jj / 2.5)
    d2im = 0.1 * ((np.arange(size[0]) // 64) % 2)[np.newaxis, :] - 0.05
    hdul = fits.HDUList([primary, sci,
                         lookup_table_hdu("WCSDVARR", 1, cp1, (1.0, 1.0), (1.0, 1.0), (16.0, 32.0)),
                         lookup_table_hdu("WCSDVARR", 2, cp2, (1.0, 1.0), (1.0, 1.0), (16.0, 32.0)),
                         lookup_table_hdu("D2IMARR", 1, d2im, (1.0, 1.0), (1.0, 1.0), (1.0, 1.0))])
    out.append(Frame("space telescope SIP-4 + lookup tables (ICRS)", "astfield", hdul, "icrs", hdu=1, lookup=True,
                     inherit=True))

    # A wide camera with the same structure of distortion (SIP, tables of
    # CPDIS and a D2IM column correction), wide enough to hold many objects.
    wide = (81, 61)
    wide_cards = tan((15.0, 5.0), 0.5, wide, -8.0, "TAN-SIP", icrs)
    wide_cards += sip_cards(3, {(2, 0): (1.0e-4, -2.0e-4), (1, 1): (2.0e-4, 1.0e-4), (0, 2): (-1.0e-4, 3.0e-4),
                                (3, 0): (2.0e-6, 1.0e-6), (1, 2): (-1.0e-6, 2.0e-6)})
    wide_primary = primary_with(observation())
    wide_sci = fits.ImageHDU(data=np.zeros((wide[1], wide[0]), dtype=np.uint8))
    wide_sci.header["EXTNAME"] = "SCI"
    wide_sci.header["INHERIT"] = True
    for key_, value in wide_cards:
        wide_sci.header[key_] = value
    for axis in (1, 2):
        wide_sci.header[f"CPDIS{axis}"] = "Lookup"
        for text in (f"EXTVER: {axis}", "NAXES: 2", "AXIS.1: 1", "AXIS.2: 2"):
            wide_sci.header.append(record(f"DP{axis}", text), end=True)
    wide_sci.header["D2IMDIS1"] = "Lookup"
    for text in ("EXTVER: 1", "NAXES: 2", "AXIS.1: 1", "AXIS.2: 2"):
        wide_sci.header.append(record("D2IM1", text), end=True)
    jj, ii = np.mgrid[0:9, 0:12]
    w1 = 0.3 * np.sin(ii / 2.0) + 0.2 * np.cos(jj / 1.5)
    w2 = -0.25 * np.cos(ii / 1.7) + 0.15 * np.sin(jj / 1.2)
    wide_d2im = 0.2 * ((np.arange(wide[0]) // 8) % 2)[np.newaxis, :] - 0.1
    out.append(Frame("wide camera SIP-3 + lookup tables (ICRS)", "astfield",
                     fits.HDUList([wide_primary, wide_sci,
                                   lookup_table_hdu("WCSDVARR", 1, w1, (1.0, 1.0), (-2.0, -1.0), (8.0, 8.0)),
                                   lookup_table_hdu("WCSDVARR", 2, w2, (1.0, 1.0), (-2.0, -1.0), (8.0, 8.0)),
                                   lookup_table_hdu("D2IMARR", 1, wide_d2im, (1.0, 1.0), (1.0, 1.0), (1.0, 1.0))]),
                     "icrs", hdu=1, lookup=True, inherit=True))

    # The same camera without its tables: SIP-4 alone.
    out.append(Frame("space telescope SIP-4 (ICRS)", "astfield",
                     fits.HDUList([primary_with(observation() + science, (size[1], size[0]))]), "icrs"))

    # An infrared camera with SIP-3 and its inverse polynomial, 1"/px.
    ir = tan(near_asteroid((-0.05, 0.03)), 1.0 / 3600 * 20, (256, 256), -35.0, "TAN-SIP", icrs)
    ir += sip_cards(3, {(2, 0): (2.0e-6, 1.0e-6), (0, 2): (-1.0e-6, 3.0e-6), (1, 1): (1.5e-6, -2.0e-6),
                        (3, 0): (1.0e-9, -2.0e-9), (1, 2): (3.0e-9, 1.0e-9)})
    out.append(Frame("infrared camera SIP-3 (ICRS)", "astfield",
                     fits.HDUList([primary_with(observation() + ir, (256, 256))]), "icrs"))

    # A survey camera with TPV, 0.27"/px x 20.
    tpv = tan(near_asteroid((0.1, -0.05)), 0.27 / 3600 * 40, (400, 300), 90.0, "TPV", icrs)
    tpv += [("PV1_0", 0.0), ("PV1_1", 1.0), ("PV1_2", 0.0), ("PV1_4", 2.0e-3), ("PV1_5", -1.0e-3), ("PV1_7", 0.01),
            ("PV2_0", 0.0), ("PV2_1", 1.0), ("PV2_2", 0.0), ("PV2_4", -1.5e-3), ("PV2_6", 3.0e-3), ("PV2_9", -0.01)]
    out.append(Frame("survey camera TPV (ICRS)", "astfield",
                     fits.HDUList([primary_with(observation() + tpv, (300, 400))]), "icrs"))

    # A digitised plate in FK4 B1950 (no RADESYS: EQUINOX 1950 says FK4),
    # exposed in 1955, its date in the old dd/mm/yy with UT.
    plate_centre = to_system("fk4", 0.6, 0.4)
    plate = tan(plate_centre, 1.7 / 3600 * 60, (300, 300), 0.5, "TAN", [("EQUINOX", 1950.0)])
    plate_obs = [("DATE-OBS", "04/03/55"), ("UT", "03:20:15"), ("EXPTIME", 3600.0), ("OBSGEO-X", SITE_M[0]),
                 ("OBSGEO-Y", SITE_M[1]), ("OBSGEO-Z", SITE_M[2])]
    out.append(Frame("digitised plate TAN (FK4 B1950, 1955)", "astfield",
                     fits.HDUList([primary_with(plate_obs + plate, (300, 300))]), "fk4", time=PLATE_TIME))

    # An amateur CCD: FK5 with CDELT and CROTA2, the date and time apart.
    ccd = [("CTYPE1", "RA---TAN"), ("CTYPE2", "DEC--TAN"), ("CRPIX1", 380.5), ("CRPIX2", 255.0),
           ("CRVAL1", near_asteroid((0.2, 0.1))[0]), ("CRVAL2", near_asteroid((0.2, 0.1))[1]),
           ("CDELT1", -2.1 / 3600 * 10), ("CDELT2", 2.1 / 3600 * 10), ("CROTA2", 7.5)] + fk5
    ccd_obs = [("DATE-OBS", "2008-05-20"), ("TIME-OBS", "05:13:30"), ("EXPTIME", 120.0), ("OBSGEO-X", SITE_M[0]),
               ("OBSGEO-Y", SITE_M[1]), ("OBSGEO-Z", SITE_M[2])]
    out.append(Frame("amateur CCD (FK5 J2000, TIME-OBS)", "astfield",
                     fits.HDUList([primary_with(ccd_obs + ccd, (510, 765))]), "fk5"))

    # A multi-extension file whose image extension inherits the dates, the
    # site and the reference system from the primary header.
    inherit_primary = primary_with(observation() + [("RADESYS", "FK5"), ("EQUINOX", 2000.0)])
    ext = fits.ImageHDU(data=np.zeros((200, 300), dtype=np.uint8))
    ext.header["INHERIT"] = True
    for key, value in tan(near_asteroid((0.3, 0.0)), 0.01, (300, 200), 20.0):
        ext.header[key] = value
    out.append(Frame("mosaic extension with INHERIT = T (FK5)", "astfield", fits.HDUList([inherit_primary, ext]),
                     "fk5", hdu=1, inherit=True))

    # A satellite camera with SIP over the satellite field.
    satsip = tan(SAT_CENTRE, 0.025, (200, 200), 3.0, "TAN-SIP", icrs)
    satsip += sip_cards(2, {(2, 0): (2.0e-6, 1.0e-6), (1, 1): (-1.0e-6, 1.5e-6)})
    out.append(Frame("satellite camera SIP (ICRS)", "satfield",
                     fits.HDUList([primary_with(observation(SAT_TIME) + satsip, (200, 200))]), "icrs", time=SAT_TIME))

    # The 28 projections of a radio map over the asteroid field, 0.5 deg
    # pixels, 81 x 61.
    codes = ["AZP", "SZP", "TAN", "STG", "SIN", "ARC", "ZPN", "ZEA", "AIR", "CYP", "CEA", "CAR", "MER", "COP", "COE",
             "COD", "COO", "SFL", "PAR", "MOL", "AIT", "BON", "PCO", "TSC", "CSC", "QSC", "HPX", "XPH"]
    extra = {"AZP": [("PV2_1", 2.0)], "SZP": [("PV2_1", 2.0)], "ZPN": [("PV2_0", 0.0), ("PV2_1", 1.0), ("PV2_3", 0.05)],
             "AIR": [("PV2_1", 45.0)], "CYP": [("PV2_1", 1.0), ("PV2_2", 0.7)], "CEA": [("PV2_1", 1.0)],
             "COP": [("PV2_1", 30.0), ("PV2_2", 15.0)], "COE": [("PV2_1", 30.0), ("PV2_2", 15.0)],
             "COD": [("PV2_1", 30.0), ("PV2_2", 15.0)], "COO": [("PV2_1", 30.0), ("PV2_2", 15.0)],
             "BON": [("PV2_1", 30.0)]}
    if quick:
        codes = ["AZP", "CAR", "AIT", "TSC"]
    for code in codes:
        cards = tan((15.0, 5.0), 0.5, (81, 61), 0.0, code, [("RADESYS", "FK5"), ("EQUINOX", 2000.0)])
        cards += extra.get(code, [])
        if code in ("COP", "COE", "COD", "COO"):
            # The conic's reference latitude lies on its standard parallels.
            cards = [(k, 30.0 if k == "CRVAL2" else v) for k, v in cards] + [("LATPOLE", 90.0)]
        out.append(Frame(f"radio map {code} (FK5)", "astfield",
                         fits.HDUList([primary_with(observation(AST_TIME, 0.0) + cards, (61, 81))]), "fk5",
                         exposure=False))

    # Frames partly off the sky: an all-sky camera's ZEA and ARC (the sky's
    # edge inside the image), a wide SIN beyond its horizon, and the quad
    # cube of an all-sky map whose unused faces are holes.
    allsky = [("ZEA all-sky camera", "ZEA", 1.3, (200, 200)), ("ARC all-sky camera", "ARC", 1.1, (200, 200)),
              ("wide SIN", "SIN", 0.8, (180, 160))]
    if quick:
        allsky = allsky[2:]
    for name, code, scale, dims in allsky:
        cards = tan(AST_CENTRE, scale, dims, 0.0, code, icrs)
        out.append(Frame(f"{name} (ICRS, partly off the sky)", "astfield",
                         fits.HDUList([primary_with(observation(AST_TIME, 0.0) + cards, (dims[1], dims[0]))]), "icrs",
                         exposure=False))
    cube = [("CTYPE1", "RA---TSC"), ("CTYPE2", "DEC--TSC"), ("CRPIX1", 45.5), ("CRPIX2", 90.5),
            ("CRVAL1", 0.0), ("CRVAL2", 0.0), ("CDELT1", -2.0), ("CDELT2", 2.0), ("RADESYS", "ICRS")]
    out.append(Frame("quad-cube all-sky map TSC (ICRS, holes)", "astfield",
                     fits.HDUList([primary_with(observation(AST_TIME, 0.0) + cube, (135, 180))]), "icrs",
                     exposure=False))
    out.append(Frame("ZEA all-sky camera over satellites (ICRS, partly off the sky)", "satfield",
                     fits.HDUList([primary_with(observation(SAT_TIME, 20.0) + tan(SAT_CENTRE, 1.3, (200, 200), 0.0,
                                                                                  "ZEA", icrs), (200, 200))]),
                     "icrs", time=SAT_TIME))
    return out


# ------------------------------------------------------------------ runs

def run(bin_dir, data_dir, program, arguments):
    result = subprocess.run([os.path.join(bin_dir, program)] + arguments, cwd=data_dir, capture_output=True,
                            text=True)
    if result.returncode != 0:
        raise RuntimeError(f"{program} {' '.join(arguments)}: status {result.returncode}: {result.stderr.strip()}")
    return list(csv.DictReader(io.StringIO(result.stdout)))


def key(row):
    return row["norad_id"] if "norad_id" in row else row["number"] + "|" + row["name"]


def label(row):
    text = row["name"] if "norad_id" in row else row["number"] + " " + row["name"]
    return " ".join(text.split())


def astropy_pixels(wcs, system, places):
    """FITS pixel positions (origin 1) of J2000 places, NaN where astropy has none."""
    if not places:
        return np.zeros((0, 2))
    world = np.array([to_system(system, ra, dec) for ra, dec in places])
    out = np.full((len(places), 2), np.nan)
    try:
        out = np.array(wcs.all_world2pix(world, 1, tolerance=1e-10, maxiter=100, quiet=True))
    except Exception:
        for i, w in enumerate(world):
            try:
                out[i] = wcs.all_world2pix(w[np.newaxis, :], 1, tolerance=1e-10, maxiter=100, quiet=True)[0]
            except Exception:
                pass
    return out


def footprint_distance(n1, n2, p):
    """How far inside (positive) the widened footprint the pixel lies."""
    return min(p[0] - (0.5 - 0.05 * n1), (n1 + 0.5 + 0.05 * n1) - p[0], p[1] - (0.5 - 0.05 * n2),
               (n2 + 0.5 + 0.05 * n2) - p[1])


def covering_squares(wcs, n1, n2, system):
    """Square fields (centre, side in arcminutes) that cover the frame."""
    xs = np.linspace(0.5 - 0.05 * n1, n1 + 0.5 + 0.05 * n1, 41)
    ys = np.linspace(0.5 - 0.05 * n2, n2 + 0.5 + 0.05 * n2, 41)
    grid = np.array([(x, y) for x in xs for y in ys])
    world = wcs.all_pix2world(grid, 1)
    vectors = []
    back = {"icrs": lambda v: RB @ v, "fk5": lambda v: v}
    for ra, dec in world:
        if not (np.isfinite(ra) and np.isfinite(dec)):
            return None
        v = unit(ra, dec)
        if system == "fk4":
            r, d = erfa.fk45z(math.radians(ra), math.radians(dec), 1950.0)
            v = unit(math.degrees(r), math.degrees(d))
        else:
            v = back[system](v)
        vectors.append(v)
    centre = np.sum(vectors, axis=0)
    if np.linalg.norm(centre) < 1e-6:
        return None
    centre /= np.linalg.norm(centre)
    radius = max(math.acos(min(1.0, float(np.dot(centre, v)))) for v in vectors)
    # A wide square's window on RA folds only above 330 degrees of RA
    # difference: wide frames take the cover of the whole sky.
    if radius > math.radians(20.0):
        return None
    # In the square, |xi| <= 1.1 h on the tangent plane (degrees of
    # standard coordinate); the cap of radius r needs tan(r) there, and a
    # margin for the pixels between the grid's.
    half = math.degrees(math.tan(radius * 1.05 + math.radians(0.5))) / 1.1
    ra, dec = spherical(centre)
    return [(ra, dec, 2.0 * half * 60.0)]


# Squares that cover the sky: half sides of 40 degrees (44 of standard
# coordinate with the widening) about the equator every 45 degrees of RA,
# about declinations +-50 every 60 degrees and about the poles, the
# equatorial ones away from 0 h, where a square folds its window on RA.
SKY_COVER = ([(22.5 + 45.0 * k, 0.0) for k in range(8)] + [(30.0 + 60.0 * k, 50.0) for k in range(6)] +
             [(30.0 + 60.0 * k, -50.0) for k in range(6)] + [(0.0, 90.0), (0.0, -90.0)])
SKY_COVER_SIDE = 2.0 * 40.0 * 60.0
CACHE = {}


def candidates(bin_dir, data_dir, frame, wcs, n1, n2):
    squares = covering_squares(wcs, n1, n2, frame.system)
    if squares is None:
        squares = [(ra, dec, SKY_COVER_SIDE) for ra, dec in SKY_COVER]
    cache_key = (frame.program, frame.time, tuple(squares))
    if cache_key in CACHE:
        return CACHE[cache_key]
    found = {}
    for ra, dec, side in squares:
        for row in run(bin_dir, data_dir, frame.program,
                       ["--time", frame.time, "--centre", repr(ra), repr(dec), "--side", repr(side), "--observer",
                        ",".join(str(v / 1000.0) for v in SITE_M), "--format", "csv"]):
            found[key(row)] = row
    CACHE[cache_key] = found
    return found


def check_frame(bin_dir, data_dir, directory, frame, index):
    path = os.path.join(directory, f"frame{index:02d}.fits")
    frame.hdul.writeto(path, overwrite=True)
    header = frame.header()
    n1, n2 = header["NAXIS1"], header["NAXIS2"]
    wcs = frame.astropy_wcs()
    bound = LOOKUP_BOUND if frame.lookup else PIXEL_BOUND
    problems = []

    # Rows and the region file, with the header's exposure.
    region_path = os.path.join(directory, f"frame{index:02d}.reg")
    rows = run(bin_dir, data_dir, frame.program, ["--image", path, "--format", "csv", "--regions", region_path])
    worst = 0.0
    columns = [("ra_deg", "dec_deg", "x", "y")]
    if frame.exposure:
        columns += [("ra_start_deg", "dec_start_deg", "x_start", "y_start"), ("ra_end_deg", "dec_end_deg", "x_end",
                                                                              "y_end")]
    for ra_c, dec_c, x_c, y_c in columns:
        usable = [r for r in rows if r.get(x_c, "") != ""]
        pixels = astropy_pixels(wcs, frame.system, [(float(r[ra_c]), float(r[dec_c])) for r in usable])
        for r, p in zip(usable, pixels):
            d = math.hypot(float(r[x_c]) - p[0], float(r[y_c]) - p[1])
            if not math.isfinite(d):
                problems.append(f"{label(r)}: astropy has no pixel for its place")
                continue
            worst = max(worst, d)
    if worst > bound:
        problems.append(f"pixel positions differ by {worst:.4f} px")

    # The region file through the regions package.
    region_worst = 0.0
    region_wcs = frame.astropy_wcs(for_regions=True)
    text = open(region_path).read()
    system_line = [line for line in text.splitlines() if line in ("icrs", "fk5", "fk4")]
    if system_line != [frame.system]:
        problems.append(f"the region file is in {system_line}, not {frame.system}")
    by_label = {}
    for r in rows:
        by_label.setdefault(label(r), []).append(r)
    circles = 0
    for region in regions.Regions.read(region_path, format="ds9"):
        if not isinstance(region, regions.CircleSkyRegion):
            continue
        circles += 1
        centre = region.to_pixel(region_wcs).center
        x, y = centre.x + 1.0, centre.y + 1.0
        matches = by_label.get(" ".join(region.meta.get("text", "").split()), [])
        if not matches:
            problems.append(f"a circle labelled {region.meta.get('text')} has no row")
            continue
        region_worst = max(region_worst, min(math.hypot(x - float(r["x"]), y - float(r["y"])) for r in matches))
    if circles != len(rows):
        problems.append(f"{circles} circles for {len(rows)} rows")
    if region_worst > bound:
        problems.append(f"region marks lie {region_worst:.4f} px from the rows")

    # Membership at the start instant.
    listed = {key(r): r for r in run(bin_dir, data_dir, frame.program,
                                     ["--image", path, "--format", "csv", "--exposure", "0"])}
    everything = candidates(bin_dir, data_dir, frame, wcs, n1, n2)
    keys = list(everything)
    pixels = astropy_pixels(wcs, frame.system,
                            [(float(everything[k]["ra_deg"]), float(everything[k]["dec_deg"])) for k in keys])
    judged = 0
    for k, p in zip(keys, pixels):
        inside = bool(np.all(np.isfinite(p))) and footprint_distance(n1, n2, p) >= 0.0
        if np.all(np.isfinite(p)) and abs(footprint_distance(n1, n2, p)) < EDGE_MARGIN:
            continue
        judged += 1
        if inside != (k in listed):
            problems.append(f"{label(everything[k])} is {'inside' if inside else 'outside'} by astropy but "
                            f"{'listed' if k in listed else 'not listed'}")
    for k in listed:
        if k not in everything:
            problems.append(f"{label(listed[k])} is listed but no covering square lists it")
    return {"name": frame.name, "rows": len(rows), "worst": worst, "region_worst": region_worst, "judged": judged,
            "inside": len(listed), "problems": problems, "bound": bound}


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("bin_dir")
    parser.add_argument("data_dir")
    parser.add_argument("--quick", action="store_true",
                        help="four of the 28 projections and two of the frames partly off the sky")
    parser.add_argument("--keep", help="write the frames here and keep them")
    args = parser.parse_args()
    args.bin_dir = os.path.abspath(args.bin_dir)
    args.data_dir = os.path.abspath(args.data_dir)
    directory = args.keep or tempfile.mkdtemp(prefix="frames-check-")
    os.makedirs(directory, exist_ok=True)
    failed = 0
    try:
        results = []
        for index, frame in enumerate(frames(args.quick)):
            try:
                result = check_frame(args.bin_dir, args.data_dir, directory, frame, index)
            except RuntimeError as error:
                result = {"name": frame.name, "rows": 0, "worst": 0.0, "region_worst": 0.0, "judged": 0, "inside": 0,
                          "problems": [str(error)], "bound": 0.0}
            results.append(result)
            status = "ok" if not result["problems"] else "FAILED"
            print(f"{status:6s} {result['name']}: {result['rows']} rows, pixels within {result['worst']:.4f} px, "
                  f"region marks within {result['region_worst']:.4f} px, {result['inside']} listed at the start of "
                  f"{result['judged']} judged")
            for problem in result["problems"][:10]:
                print(f"         {problem}")
            failed += bool(result["problems"])
        rows = sum(r["rows"] for r in results)
        worst = max(r["worst"] for r in results)
        print(f"{len(results)} frames, {rows} rows: largest pixel difference {worst:.4f} px, largest region "
              f"difference {max(r['region_worst'] for r in results):.4f} px; {failed} frames with problems")
    finally:
        if not args.keep:
            shutil.rmtree(directory, ignore_errors=True)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
