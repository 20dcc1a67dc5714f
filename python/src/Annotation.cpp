// Feature locations, feature sequences, reverse complements and translation for Python: the
// sequence library's own functions, so that Python, the tool and the factory's users agree.
#include "Annotation.h"

#include "Errors.h"
#include "Objects.h"

#include <contracts/FeatureLocation.h>
#include <contracts/GeneticCode.h>
#include <contracts/Sequence.h>

#include <pybind11/stl.h>

#include <boost/make_shared.hpp>

#include <exception>
#include <string>
#include <vector>

namespace mfpy {

namespace {



PyObject* locationErrorType = nullptr;
PyObject* translationErrorType = nullptr;
PyObject* warningType = nullptr; // modelfactory.Warning

PyObject* newError(py::module_& module, const char* name, const char* doc) {
    const std::string qualified = std::string("modelfactory.") + name;
    py::tuple bases = py::make_tuple(module.attr("Error"), py::handle(PyExc_ValueError));
    PyObject* type = PyErr_NewExceptionWithDoc(qualified.c_str(), doc, bases.ptr(), nullptr);
    if (!type) throw py::error_already_set();
    module.add_object(name, py::handle(type));
    return type;
}

const char* kindName(Velm::LocationPart::Kind kind) {
    switch (kind) {
    case Velm::LocationPart::Kind::Range: return "range";
    case Velm::LocationPart::Kind::Base: return "base";
    case Velm::LocationPart::Kind::Between: return "between";
    default: return "within";
    }
}

py::object strandOf(Velm::FeatureLocation::Strand strand) {
    if (strand == Velm::FeatureLocation::Strand::None) return py::none();
    return py::str(Velm::FeatureLocation::strandName(strand));
}

Velm::FeatureLocation locationOf(const py::handle& value) {
    if (py::isinstance<Velm::FeatureLocation>(value)) return value.cast<Velm::FeatureLocation>();
    if (py::isinstance<py::str>(value)) return Velm::FeatureLocation::parse(value.cast<std::string>());
    throw py::type_error("a location is a modelfactory.Location or its text");
}

// Issues the problems a lenient translation let pass as modelfactory.Warning.
void warnAbout(const std::vector<std::string>& problems, const std::string& what) {
    for (const std::string& problem : problems) {
        const std::string text = what + ": " + problem;
        if (PyErr_WarnEx(warningType, text.c_str(), 1) != 0)
            throw py::error_already_set();
    }
}

SequencePtr copyOf(const Velm::Sequence& sequence) {
    if (auto* na = dynamic_cast<const Velm::NASequence*>(&sequence)) return boost::make_shared<Velm::NASequence>(*na);
    return boost::make_shared<Velm::Sequence>(sequence);
}

SequencePtr reverseComplemented(const Velm::Sequence& sequence) {
    SequencePtr copy = copyOf(sequence);
    try {
        Velm::reverseComplementEntry(*copy);
    } catch (const std::invalid_argument& e) {
        throw py::value_error(e.what());
    }
    return copy;
}

SequencePtr translated(const Velm::Sequence& sequence, int table, bool cds, bool toStop) {
    if (sequence.isProtein() || sequence.moleculeType() == Velm::Sequence::MoleculeType::Protein)
        throw Velm::TranslationError("sequence " + sequence.name() + " is a protein: nothing to translate");
    Velm::TranslationOptions options;
    options.table = table;
    options.cds = cds;
    options.toStop = toStop;
    Velm::Translation t = Velm::translate(sequence.residues(), options);
    SequencePtr protein =
        boost::make_shared<Velm::Sequence>(sequence.name(), std::move(t.protein), Velm::Sequence::MoleculeType::Protein);
    protein->setAccession(sequence.accession());
    protein->setDescription(sequence.description());
    return protein;
}

} // namespace

void registerAnnotation(py::module_& m) {
    warningType = m.attr("Warning").ptr(); // the module keeps it
    locationErrorType = newError(m, "LocationError",
                                 "A location that is not INSDC syntax, or that cannot be resolved against the "
                                 "entry at hand (a part in another entry, an uncertain base, a position past the "
                                 "end). A modelfactory.Error and a ValueError.");
    translationErrorType = newError(m, "TranslationError",
                                    "A translation the coding rules refuse (an unknown table, no start or stop "
                                    "codon, an internal stop, a protein). A modelfactory.Error and a ValueError.");
    py::register_exception_translator([](std::exception_ptr p) {
        try {
            if (p) std::rethrow_exception(p);
        } catch (const Velm::LocationError& e) {
            PyErr_SetString(locationErrorType, e.what());
        } catch (const Velm::TranslationError& e) {
            PyErr_SetString(translationErrorType, e.what());
        }
    });

    py::class_<Velm::LocationPart>(m, "LocationPart", R"(One stretch of a location, 1-based and inclusive, in
the order the feature reads it.)")
        .def_property_readonly("kind", [](const Velm::LocationPart& p) { return kindName(p.kind); },
                               R"("range" (12..78), "base" (34), "between" (5^6: a site between two bases, no
residues) or "within" (102.110: one base somewhere in that range).)")
        .def_readonly("start", &Velm::LocationPart::start, "The first position (1-based, inclusive).")
        .def_readonly("end", &Velm::LocationPart::end, "The last position (1-based, inclusive).")
        .def_property_readonly("accession",
                               [](const Velm::LocationPart& p) -> py::object {
                                   return p.isRemote() ? py::object(py::str(p.accession)) : py::object(py::none());
                               },
                               "The entry the part lies in (\"AB123.1\"), or None for the feature's own entry.")
        .def_readonly("partial_start", &Velm::LocationPart::startBefore,
                      "'<' on the start: the feature begins before `start`.")
        .def_readonly("partial_end", &Velm::LocationPart::endAfter, "'>' on the end: it goes on after `end`.")
        .def_property_readonly("strand", [](const Velm::LocationPart& p) { return p.reverse ? "-" : "+"; },
                               "\"-\" when the part is read on the complementary strand, from `end` down to `start`.")
        .def("__len__", [](const Velm::LocationPart& p) { return p.length(); },
             "The residues the part covers (0 for a between-base site).")
        .def("__repr__", [](const Velm::LocationPart& p) {
            return std::string("<modelfactory.LocationPart ") + kindName(p.kind) + " " +
                   (p.isRemote() ? p.accession + ":" : std::string()) + std::to_string(p.start) + "-" +
                   std::to_string(p.end) + (p.reverse ? " -" : " +") + ">";
        });

    py::class_<Velm::FeatureLocation>(m, "Location", R"(A parsed INSDC feature location: ranges, single bases,
between-base sites (^), uncertain bases (.), join(), order(), complement() at any depth, partial ends
(< and >) and parts in other entries (AB123.1:10..20). str() gives back its text.)")
        .def(py::init(&Velm::FeatureLocation::parse), py::arg("text"),
             "Parses the text; raises LocationError (naming the column) for anything INSDC does not define.")
        .def_property_readonly("text", &Velm::FeatureLocation::text, "The location written back as text.")
        .def_property_readonly("parts", &Velm::FeatureLocation::parts,
                               "The parts in the order the feature reads them (complement() reverses them).")
        .def_property_readonly("strand", [](const Velm::FeatureLocation& l) { return strandOf(l.strand()); },
                               "\"+\" or \"-\" when every part agrees, \"mixed\" otherwise, None without parts.")
        .def_property_readonly("partial_start", &Velm::FeatureLocation::partialStart,
                               "The feature's 5' end is missing ('<' before a forward part, '>' after a reverse one).")
        .def_property_readonly("partial_end", &Velm::FeatureLocation::partialEnd, "The feature's 3' end is missing.")
        .def_property_readonly("is_remote", &Velm::FeatureLocation::isRemote, "True when a part lies in another entry.")
        .def_property_readonly("remote_accessions", &Velm::FeatureLocation::remoteAccessions,
                               "The other entries the location names, in order, each once.")
        .def_property_readonly("start", &Velm::FeatureLocation::minPosition,
                               "The lowest position in the feature's own entry (0 when there is none).")
        .def_property_readonly("end", &Velm::FeatureLocation::maxPosition,
                               "The highest position in the feature's own entry (0 when there is none).")
        .def("extract", &Velm::FeatureLocation::extract, py::arg("residues"),
             R"(The residues the location covers in `residues` (a str): parts in order, reverse parts reverse
complemented. Raises LocationError for a part in another entry, an uncertain base or a position past the
end.)")
        .def("reverse_complemented", &Velm::FeatureLocation::reverseComplemented, py::arg("length"),
             R"(The same feature once its entry of `length` residues is reverse complemented: it reads the
same residues from the other strand.)")
        .def("__str__", &Velm::FeatureLocation::text)
        .def("__repr__", [](const Velm::FeatureLocation& l) { return "<modelfactory.Location " + l.text() + ">"; })
        .def("__eq__",
             [](const Velm::FeatureLocation& l, const py::object& other) -> py::object {
                 if (py::isinstance<Velm::FeatureLocation>(other))
                     return py::bool_(l.text() == other.cast<const Velm::FeatureLocation&>().text());
                 if (py::isinstance<py::str>(other)) return py::bool_(l.text() == other.cast<std::string>());
                 return py::reinterpret_borrow<py::object>(Py_NotImplemented);
             })
        .def("__hash__", [](const Velm::FeatureLocation& l) { return py::hash(py::str(l.text())); });

    auto feature = py::reinterpret_borrow<py::class_<Velm::Feature>>(m.attr("Feature"));
    feature
        .def(py::init([](std::string key, const Velm::FeatureLocation& location, Velm::PropertyList qualifiers) {
                 return Velm::Feature{std::move(key), location.text(), std::move(qualifiers)};
             }),
             py::arg("key"), py::arg("location"), py::arg("qualifiers") = Velm::PropertyList())
        .def_property(
            "location", [](const Velm::Feature& f) { return Velm::FeatureLocation::parse(f.location); },
            [](Velm::Feature& f, const py::object& value) { f.location = locationOf(value).text(); },
            R"(The location, parsed (a modelfactory.Location; str() of it is the text). Assign a Location or
its text; a text that does not parse raises LocationError, here and on reading.)")
        .def_readwrite("location_text", &Velm::Feature::location,
                       "The location's text as stored, whether or not it parses.")
        .def(
            "extract",
            [](const Velm::Feature& f, const py::object& sequence) -> py::object {
                if (py::isinstance<py::str>(sequence))
                    return py::str(Velm::FeatureLocation::parse(f.location).extract(sequence.cast<std::string>()));
                if (!py::isinstance<Velm::Sequence>(sequence))
                    throw py::type_error("extract() takes the feature's entry: a modelfactory.Sequence or a str");
                return py::cast(Velm::featureEntry(f, sequence.cast<const Velm::Sequence&>()));
            },
            py::arg("sequence"),
            R"(The feature's residues taken from `sequence`, the entry it belongs to: parts in order, the
complementary strand reverse complemented. Given a Sequence, a new Sequence named by /locus_tag, /gene
or /protein_id (else "ENTRY:LOCATION"), described by the key, place and qualifiers; given a str, a
str. Raises LocationError for a part in another entry, an uncertain base or a position past the end.)")
        .def(
            "translate",
            [](const Velm::Feature& f, const Velm::Sequence& entry, int table) {
                Velm::Translation t = Velm::translateFeature(f, entry, table);
                warnAbout(t.problems, Velm::featureName(f, entry));
                return t.protein;
            },
            py::arg("sequence"), py::arg("table") = 1,
            R"(The protein of this feature of `sequence` as its qualifiers say: /transl_table (else `table`),
/codon_start, /transl_except, partial ends of the location and, for a CDS, the coding rules (first codon
read as M, final stop dropped). Internal stops are kept as '*' with a modelfactory.Warning; a rule that
fails raises TranslationError.)");

    auto sequence = py::reinterpret_borrow<py::class_<Velm::Sequence, SequencePtr>>(m.attr("Sequence"));
    sequence
        .def("reverse_complement", &reverseComplemented,
             R"(A new sequence, the reverse complement of this one: IUPAC codes complemented (R<->Y, K<->M,
B<->V, D<->H), case and gaps kept, U for A when the residues read as RNA; qualities reversed; features moved
to the other strand (each still reads the same residues). Name, description and annotations are kept.
ValueError for a protein.)")
        .def("translate", &translated, py::arg("table") = 1, py::arg("cds") = false, py::kw_only(),
             py::arg("to_stop") = false,
             R"(A new protein sequence with the same name: codon after codon by NCBI genetic code `table`, '*'
for stops, an incomplete last codon dropped. With `cds` the coding rules apply: the first codon must be a
start and reads as M, the last must be a stop and is dropped, the length must be a multiple of three and no
stop may come inside; a failure raises TranslationError. `to_stop` (without `cds`) ends the protein at the
first stop.)");
}

} // namespace mfpy
