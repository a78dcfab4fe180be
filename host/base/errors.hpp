#pragma once
// The error kinds that callers tell apart. Every message is exact: the model reads it.

#include <stdexcept>
#include <string>

namespace orvanta {

class OrvantaError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
  // Short kind name shown to people and agents ("ValueError", ...).
  virtual const char* kind() const noexcept { return "Error"; }
};

#define ORVANTA_ERROR_KIND(Name)                                  \
  class Name : public OrvantaError {                              \
   public:                                                        \
    using OrvantaError::OrvantaError;                             \
    const char* kind() const noexcept override { return #Name; } \
  }

// A file or directory that should exist does not.
ORVANTA_ERROR_KIND(FileNotFoundError);
// A value of the right kind with an unusable content (bad number, wrong count, ...).
ORVANTA_ERROR_KIND(ValueError);
// A value of the wrong kind (a list where a number is expected, ...).
ORVANTA_ERROR_KIND(TypeError);
// Something went wrong while doing the work (component not found, OS failure, ...).
ORVANTA_ERROR_KIND(RuntimeError);
// A key that must be present in a mapping is absent.
ORVANTA_ERROR_KIND(KeyError);
// The geometry engine recorded errors (read, write or export failures).
ORVANTA_ERROR_KIND(GeometryError);
// The geometry engine could not be obtained.
ORVANTA_ERROR_KIND(ImportError);
// A JSON document could not be parsed or does not have the expected shape.
ORVANTA_ERROR_KIND(FormatError);
// The operating system refused a file operation.
ORVANTA_ERROR_KIND(OSError);

#undef ORVANTA_ERROR_KIND

// Kind name of any exception, for reports: ours carry one, others are "Error".
inline const char* error_kind(const std::exception& e) {
  if (auto* o = dynamic_cast<const OrvantaError*>(&e)) return o->kind();
  return "Error";
}

}  // namespace orvanta
