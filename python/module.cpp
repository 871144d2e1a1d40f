// The native half of the Python module: catalogues kept in memory and their
// searches, each row handed over as the CSV gives it (whole numbers as int,
// real numbers as the float their printed digits read as, texts as str, an
// empty value as None).
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <cstdlib>
#include <memory>
#include <mutex>

#include "csv_rows.hpp"
#include "memory_catalogues.hpp"

namespace py = pybind11;
using namespace fieldsearch;

namespace {

// One value as Python holds it: the float of a real number is the one its
// CSV digits read back as, so that formatting it as the CSV does gives them.
py::object python_value(const RowValue& value)
{
    switch (value.kind) {
    case ValueKind::absent:
        return py::none();
    case ValueKind::whole:
        return py::int_(value.whole);
    case ValueKind::real:
        return py::float_(std::strtod(csv_value(value).c_str(), nullptr));
    case ValueKind::text: {
        const std::size_t first = value.text.find_first_not_of(' ');
        if (first == std::string::npos) {
            return py::none();
        }
        return py::str(value.text.substr(first, value.text.find_last_not_of(' ') - first + 1));
    }
    }
    return py::none();
}

// The columns, the rows as tuples, and per column the decimals its real
// numbers are written with (None when it holds none; -1: every digit).
py::tuple python_rows(const FoundRows& found)
{
    py::list rows;
    std::vector<py::object> decimals(found.columns.size(), py::none());
    for (const std::vector<RowValue>& values : found.rows) {
        py::tuple row(values.size());
        for (std::size_t k = 0; k < values.size(); ++k) {
            row[k] = python_value(values[k]);
            if (values[k].kind == ValueKind::real && decimals[k].is_none()) {
                decimals[k] = py::int_(values[k].decimals);
            }
        }
        rows.append(row);
    }
    py::list decimals_list;
    for (const py::object& d : decimals) {
        decimals_list.append(d);
    }
    return py::make_tuple(py::cast(found.columns), rows, decimals_list);
}

// A catalogue held for searches; one search at a time (the asteroids' index
// is rebuilt in place).
struct HeldAsteroids {
    std::unique_ptr<AsteroidCatalogue> catalogue;
    std::mutex busy;
};

}  // namespace

PYBIND11_MODULE(_fieldsearch, m)
{
    m.doc() = "Known asteroids, comets and artificial satellites in fields of sky: the native searches.";

    py::register_exception_translator([](std::exception_ptr thrown) {
        try {
            if (thrown) {
                std::rethrow_exception(thrown);
            }
        } catch (const SearchRefusal& refusal) {
            PyErr_SetString(refusal.file ? PyExc_OSError : PyExc_ValueError, refusal.what());
        } catch (const std::invalid_argument& error) {
            PyErr_SetString(PyExc_ValueError, error.what());
        }
    });

    m.def(
        "catalogue_kind",
        [](const std::string& path) {
            py::gil_scoped_release released;
            return catalogue_kind_of_file(path) == CatalogueKind::asteroids ? "asteroids" : "satellites";
        },
        "'asteroids' when the file reads as an asteroid or comet catalogue, else 'satellites'.");

    m.def(
        "plan_columns",
        [](const std::string& kind, const std::vector<std::string>& arguments,
           const std::optional<std::string>& fields_text) {
            FoundRows found;
            {
                py::gil_scoped_release released;
                const CatalogueKind which = kind == "asteroids" ? CatalogueKind::asteroids : CatalogueKind::satellites;
                found.columns = plan_columns(which, plan_from_arguments(which, arguments, fields_text));
            }
            return python_rows(found);
        },
        "The columns of the rows a plan's search gives, refusing what the program refuses.");

    py::class_<HeldAsteroids>(m, "AsteroidCatalogue")
        .def(py::init([](const std::string& path, const std::optional<std::string>& layout) {
                 auto held = std::make_unique<HeldAsteroids>();
                 py::gil_scoped_release released;
                 held->catalogue = std::make_unique<AsteroidCatalogue>(path, layout);
                 return held;
             }),
             py::arg("path"), py::arg("layout") = py::none())
        .def(
            "search",
            [](HeldAsteroids& held, const std::vector<std::string>& arguments,
               const std::optional<std::string>& fields_text, bool use_index) {
                FoundRows found;
                {
                    py::gil_scoped_release released;
                    const SearchPlan plan = plan_from_arguments(CatalogueKind::asteroids, arguments, fields_text);
                    const std::lock_guard<std::mutex> lock(held.busy);
                    found = held.catalogue->search(plan, use_index);
                }
                return python_rows(found);
            },
            py::arg("arguments"), py::arg("fields_text") = py::none(), py::arg("use_index") = true)
        .def(
            "identify",
            [](HeldAsteroids& held, const std::vector<std::string>& arguments) {
                IdentifiedRows identified;
                {
                    py::gil_scoped_release released;
                    const SearchPlan plan = plan_from_arguments(CatalogueKind::asteroids, arguments, std::nullopt);
                    const std::lock_guard<std::mutex> lock(held.busy);
                    identified = held.catalogue->identify(plan);
                }
                return py::make_tuple(python_rows(identified.found), identified.messages, identified.tracklets,
                                      identified.identified);
            },
            py::arg("arguments"))
        .def_property_readonly("record_count", [](const HeldAsteroids& held) { return held.catalogue->record_count(); })
        .def_property_readonly("messages", [](const HeldAsteroids& held) { return held.catalogue->messages(); })
        .def_property_readonly("index_builds",
                               [](const HeldAsteroids& held) { return held.catalogue->index_builds(); });

    py::class_<SatelliteCatalogue>(m, "SatelliteCatalogue")
        .def(py::init([](const std::string& path) {
                 py::gil_scoped_release released;
                 return std::make_unique<SatelliteCatalogue>(path);
             }),
             py::arg("path"))
        .def(
            "search",
            [](const SatelliteCatalogue& catalogue, const std::vector<std::string>& arguments,
               const std::optional<std::string>& fields_text) {
                FoundRows found;
                {
                    py::gil_scoped_release released;
                    const SearchPlan plan = plan_from_arguments(CatalogueKind::satellites, arguments, fields_text);
                    found = catalogue.search(plan);
                }
                return python_rows(found);
            },
            py::arg("arguments"), py::arg("fields_text") = py::none())
        .def(
            "identify",
            [](const SatelliteCatalogue& catalogue, const std::vector<std::string>& arguments) {
                IdentifiedRows identified;
                {
                    py::gil_scoped_release released;
                    const SearchPlan plan = plan_from_arguments(CatalogueKind::satellites, arguments, std::nullopt);
                    identified = catalogue.identify(plan);
                }
                return py::make_tuple(python_rows(identified.found), identified.messages, identified.tracklets,
                                      identified.identified);
            },
            py::arg("arguments"))
        .def_property_readonly("record_count", &SatelliteCatalogue::record_count)
        .def_property_readonly("superseded_count", &SatelliteCatalogue::superseded_count)
        .def_property_readonly("messages", &SatelliteCatalogue::messages);
}
