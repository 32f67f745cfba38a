// libFuzzer target for the INI parser: any bytes parse, serialise back unchanged, and survive a
// write, a key removal and a section removal with the result still parseable and consistent.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/ini/ini_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using mirelo::ini::Document;
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  Document doc = Document::Parse(bytes);
  if (doc.Serialize() != bytes) std::abort();

  // Names taken from the input itself, so the fuzzer reaches existing sections and keys.
  const auto sections = doc.SectionNames();
  const std::string section = sections.empty() ? std::string("S") : sections.front();
  (void)doc.Get(section, "k");
  (void)doc.Lines();

  if (doc.Set(section, "k", "value ミレロ")) {
    const Document again = Document::Parse(doc.Serialize());
    if (again.Get(section, "k") != "value ミレロ") std::abort();
  }
  if (doc.Set(section, "k", "é")) {  // may switch to UTF-8 with a byte-order mark
    const Document again = Document::Parse(doc.Serialize());
    if (again.Get(section, "k") != "é") std::abort();
  }
  // A removal takes every copy of the key in the section, so no earlier value shows through.
  doc.RemoveKey(section, "k");
  if (Document::Parse(doc.Serialize()).Get(section, "k")) std::abort();
  doc.RemoveSection(section);
  (void)Document::Parse(doc.Serialize()).SectionNames();
  return 0;
}
