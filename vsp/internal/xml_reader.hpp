#pragma once
// Builds the engine's view of a parsed .vsp3 document. The document stays the owner of the
// XML; the model data points into it.

#include "vsp/model_data.hpp"

#include <pugixml.hpp>

#include <stdexcept>

namespace orvanta::vsp::internal {

// Why a document is not a model the engine can use; the message names the element.
class ReadError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Fills `data` from `doc`; ReadError when the document is not a usable model. Duplicate ids
// are replaced by fresh ones in the document too, so a later write stays consistent.
void read_model_data(pugi::xml_document& doc, ModelData& data);

}  // namespace orvanta::vsp::internal
