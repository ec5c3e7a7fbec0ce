#include "locate/times_reader.h"

// The records of a CSV of times: fields between separators, quoted or not.
namespace beatmarks {

// One field of a CSV record from `at`, up to the comma or line end after it
// (where `at` is left); false when a quoted field does not end.
bool TimesReader::ReadField(Cell& field, std::size_t& at) {
  while (Has(at) && bytes_[at] == ' ') ++at;
  if (Has(at) && bytes_[at] == '"') {
    field.quoted = true;
    const std::size_t start = ++at;
    while (true) {
      if (!Has(at)) return Fail(recordLine_, "a quoted field does not end");
      if (bytes_[at] == '\n') ++line_;
      if (bytes_[at] == '"') {
        if (Has(at + 1) && bytes_[at + 1] == '"') {
          at += 2;
          continue;
        }
        break;
      }
      ++at;
    }
    field.at = start;
    field.size = at - start;
    ++at;
    // Whatever stands between the closing quote and the next comma is let go.
    while (Has(at) && bytes_[at] != separator_ && bytes_[at] != '\n') ++at;
    return true;
  }
  const std::size_t start = at_;
  while (Has(at) && bytes_[at] != separator_ && bytes_[at] != '\n') ++at;
  field.at = start;
  field.size = at - start;
  // A CR before the line's end, or before the end of the bytes.
  if (field.size > 0 && bytes_[at - 1] == '\r' && (!Has(at) || bytes_[at] == '\n')) --field.size;
  return true;
}

// One CSV record into fields_: fields split at commas, a quoted field may hold
// commas, doubled quotes and line ends.
bool TimesReader::ReadRecord() {
  fields_.clear();
  recordLine_ = line_ + 1;
  while (true) {
    Cell field;
    std::size_t at = at_;
    if (!ReadField(field, at)) return false;
    fields_.push_back(field);
    if (Has(at) && bytes_[at] == separator_) {
      at_ = at + 1;
      continue;
    }
    at_ = Has(at) ? at + 1 : at;
    ++line_;
    return true;
  }
}

}  // namespace beatmarks
