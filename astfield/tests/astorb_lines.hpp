// Catalogue lines for the tests, built in the published 267-column layout.
#pragma once

#include <string>

#include "formatted_text.hpp"

using namespace fieldsearch;

// A line of 267 characters (no line end) holding the given fields in their
// columns; the columns the search does not read hold typical values.
inline std::string astorb_line(const char* number, const char* name, double h, double g, const char* epoch,
                               double mean_anomaly, double perihelion_argument, double node, double inclination,
                               double eccentricity, double semimajor_axis)
{
    return formatted("%6s %-18s %-15s %5.2f %5.2f %4s %5s %4s %4d%4d%4d%4d%4d%4d %5d%5d %8s %10.6f %10.6f %10.6f "
                     "%9.6f %10.8f %12.8f %8s %7.2f %8.2f %8s %7.2f %8s %7.2f %8s %7.2f %8s",
                     number, name, "test", h, g, "", "", "", 0, 0, 0, 0, 0, 0, 4000, 120, epoch, mean_anomaly,
                     perihelion_argument, node, inclination, eccentricity, semimajor_axis, "20080501", 0.12, 0.01,
                     "20080520", 0.2, "20100101", 0.5, "20120101", 0.7, "20150101");
}
