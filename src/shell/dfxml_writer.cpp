#include "shell/dfxml_writer.h"

#include <libxml/xmlversion.h>
#include <libxml/xmlwriter.h>

#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstring>

#include "shell/xml_text.h"

namespace segsniff {

namespace {

constexpr char dfxml_namespace[] = "http://www.forensicswiki.org/wiki/Category:Digital_Forensics_XML";
constexpr char dublin_core_namespace[] = "http://purl.org/dc/elements/1.1/";
constexpr char dfxml_version[] = "2.0.0-beta.0";
constexpr char own_prefix[] = "segsniff";

const xmlChar* x(const char* text) { return reinterpret_cast<const xmlChar*>(text); }

std::string decimal(std::uint64_t n) { return std::to_string(n); }

// Where the writer's bytes go: the report file.  Keeps the first failure.
struct Destination {
  platform::OutputFile& file;
  int error = 0;
};

int write_bytes(void* context, const char* bytes, int size) {
  auto& destination = *static_cast<Destination*>(context);
  if (destination.error != 0) return -1;
  const auto want = static_cast<std::size_t>(size);
  platform::ErrorCode error = 0;
  const std::size_t written =
      destination.file.write({reinterpret_cast<const std::uint8_t*>(bytes), want}, error);
  if (written == want) return size;
  destination.error = error != 0 ? error : EIO;
  return -1;
}

// libxml2 prints its complaints (a failed write, say) on standard error by
// itself; here they come back as failed calls and are reported by the
// caller, through the program's own channels.
void ignore_generic_error(void*, const char*, ...) {}
void ignore_structured_error(void*, xmlErrorPtr) {}

// The calls of xmlTextWriter the report needs, with one failure state: once
// a call fails, the rest are skipped.  Elements and attributes are in the
// DFXML namespace unless their function says `own` (the program's).
class XmlWriter {
 public:
  explicit XmlWriter(platform::OutputFile& file) : destination_{file} {
    xmlSetGenericErrorFunc(nullptr, ignore_generic_error);
    xmlSetStructuredErrorFunc(nullptr, ignore_structured_error);
    xmlOutputBufferPtr out = xmlOutputBufferCreateIO(write_bytes, nullptr, &destination_, nullptr);
    writer_ = out != nullptr ? xmlNewTextWriter(out) : nullptr;
    if (writer_ == nullptr) {
      if (out != nullptr) xmlOutputBufferClose(out);
      failed_ = true;
      return;
    }
    check(xmlTextWriterSetIndent(writer_, 1));
    check(xmlTextWriterSetIndentString(writer_, x("  ")));
    check(xmlTextWriterStartDocument(writer_, "1.0", "UTF-8", nullptr));
  }
  ~XmlWriter() {
    if (writer_ != nullptr) xmlFreeTextWriter(writer_);
  }
  XmlWriter(const XmlWriter&) = delete;
  XmlWriter& operator=(const XmlWriter&) = delete;

  void start(const char* name) { step([&] { return xmlTextWriterStartElement(writer_, x(name)); }); }
  void start_own(const char* name) {
    step([&] { return xmlTextWriterStartElementNS(writer_, x(own_prefix), x(name), nullptr); });
  }
  void end() { step([&] { return xmlTextWriterEndElement(writer_); }); }
  void attribute(const char* name, const std::string& value) {
    step([&] { return xmlTextWriterWriteAttribute(writer_, x(name), x(value.c_str())); });
  }
  void own_attribute(const char* name, const std::string& value) {
    step([&] {
      return xmlTextWriterWriteAttributeNS(writer_, x(own_prefix), x(name), nullptr,
                                           x(value.c_str()));
    });
  }
  // Text from outside the program: replaced bytes are kept in segsniff:hex.
  // Must come before any other content of its element.
  void outside_text(std::string_view bytes) {
    const XmlText text = xml_text(bytes);
    if (text.replaced) own_attribute("hex", hex_text(bytes));
    step([&] { return xmlTextWriterWriteString(writer_, x(text.text.c_str())); });
  }
  void element(const char* name, const std::string& text) {
    start(name);
    outside_text(text);
    end();
  }
  void own_element(const char* name, const std::string& text) {
    start_own(name);
    outside_text(text);
    end();
  }

  // Closes the root element and the document, writes out what is left:
  // 0, or the errno of the failed write.
  int finish() {
    // Ended here rather than by the end of the document, which leaves the
    // last line without its line feed.
    step([&] { return xmlTextWriterEndElement(writer_); });
    step([&] { return xmlTextWriterEndDocument(writer_); });
    step([&] { return xmlTextWriterFlush(writer_); });
    if (destination_.error != 0) return destination_.error;
    return failed_ ? EIO : 0;  // the library failed on its own (no memory)
  }

 private:
  template <typename Call>
  void step(Call call) {
    if (!failed_) check(call());
  }
  void check(int status) {
    if (status < 0) failed_ = true;
  }

  Destination destination_;
  xmlTextWriterPtr writer_ = nullptr;
  bool failed_ = false;
};

void write_head(XmlWriter& w, const ReportHead& head) {
  w.start("dfxml");
  w.attribute("xmlns", dfxml_namespace);
  w.attribute("xmlns:dc", dublin_core_namespace);
  w.attribute("xmlns:segsniff", report_namespace);
  w.attribute("version", dfxml_version);
  w.start("metadata");
  w.element("dc:type", "Carving report");
  w.end();
  w.start("creator");
  w.element("program", "segsniff");
  w.element("version", head.program_version);
  w.start("execution_environment");
  w.element("command_line", head.command_line);
  w.end();
  for (const auto& [name, version] : head.libraries) {
    w.start("library");
    w.attribute("name", name);
    w.attribute("version", version);
    w.end();
  }
  w.end();
}

void write_source(XmlWriter& w, std::span<const ReportInput> inputs) {
  w.start("source");
  std::uint64_t number = 0;
  for (const ReportInput& input : inputs) {
    w.start("image_filename");
    w.own_attribute("input", decimal(++number));
    if (input.size) w.own_attribute("size", decimal(*input.size));
    if (!input.error.empty()) w.own_attribute("error", xml_text(input.error).text);
    w.outside_text(input.name);
    w.end();
  }
  w.end();
}

std::string failure_text(const FileRecord& record) {
  if (record.create_error != 0)
    return std::string("could not create the file: ") + std::strerror(record.create_error);
  char text[160];
  if (record.written < record.length())
    std::snprintf(text, sizeof text, "only %" PRIu64 " of %" PRIu64 " bytes reached the file: ",
                  record.written, record.length());
  else
    std::snprintf(text, sizeof text, "the file could not be closed: ");
  return text + std::string(std::strerror(record.write_error));
}

const char* decode_result(DecodeClass kind) {
  switch (kind) {
    case DecodeClass::clean: return "clean";
    case DecodeClass::warnings: return "warnings";
    case DecodeClass::not_decodable: return "not_decodable";
    case DecodeClass::unavailable: return "not_available";
  }
  return "";
}

std::string marker_text(std::uint16_t marker) {
  char text[8];
  std::snprintf(text, sizeof text, "%04X", static_cast<unsigned>(marker));
  return text;
}

void write_own_facts(XmlWriter& w, const FileRecord& record) {
  w.start_own("number");
  w.outside_text(std::to_string(record.number));
  w.end();
  if (record.host) {
    w.start_own("host");
    w.attribute("number", std::to_string(record.host->number));
    w.outside_text(record.host->name);
    w.end();
  }
  if (record.frame) {
    w.start_own("frame");
    w.attribute("marker", marker_text(record.frame->marker));
    w.attribute("precision", decimal(record.frame->precision));
    w.attribute("width", decimal(record.frame->width));
    w.attribute("height", decimal(record.frame->height));
    w.attribute("components", decimal(record.frame->components));
    w.end();
  }
  w.own_element("exif", record.exif ? "1" : "0");
  w.start_own("decode");
  w.attribute("result", decode_result(record.decode.kind));
  if (!record.decode.message.empty()) w.outside_text(record.decode.message);
  w.end();
}

void write_file_object(XmlWriter& w, const FileRecord& record) {
  w.start("fileobject");
  w.element("filename", record.name);
  if (!record.succeeded()) w.element("error", failure_text(record));
  if (record.create_error == 0) w.element("filesize", decimal(record.written));
  w.start("byte_runs");
  w.own_attribute("input", decimal(record.input));
  std::uint64_t file_offset = 0;
  for (const ByteRun& run : record.runs) {
    w.start("byte_run");
    w.attribute("file_offset", decimal(file_offset));
    w.attribute("img_offset", decimal(run.offset));
    w.attribute("len", decimal(run.length));
    w.end();
    file_offset += run.length;
  }
  w.end();
  if (record.digest) {
    w.start("hashdigest");
    w.attribute("type", "sha256");
    w.outside_text(hex_text({reinterpret_cast<const char*>(record.digest->data()),
                             record.digest->size()}));
    w.end();
  }
  write_own_facts(w, record);
  w.end();
}

void write_tail(XmlWriter& w, const ReportTail& tail) {
  w.start_own("counts");
  w.attribute("candidates", decimal(tail.counts.candidates));
  w.attribute("files", decimal(tail.counts.files));
  w.attribute("bytes", decimal(tail.counts.bytes));
  w.attribute("failures", decimal(tail.counts.failures));
  w.attribute("decoded_cleanly", decimal(tail.counts.decoded_cleanly));
  w.end();
  if (!tail.stopped.empty()) w.own_element("stopped", tail.stopped);
  if (tail.records_lost != 0) {
    w.start_own("records_lost");
    w.attribute("count", decimal(tail.records_lost));
    w.outside_text(std::strerror(tail.records_lost_error));
    w.end();
  }
}

}  // namespace

bool dfxml_writer_available() { return true; }

std::pair<std::string, std::string> dfxml_writer_library() {
  return {"libxml2", LIBXML_DOTTED_VERSION};
}

int write_dfxml(platform::OutputFile& file, const ReportHead& head,
                std::span<const ReportInput> inputs, const NextRecord& next_record,
                const ReportTail& tail) {
  XmlWriter w(file);
  write_head(w, head);
  write_source(w, inputs);
  FileRecord record;
  while (next_record(record)) write_file_object(w, record);
  write_tail(w, tail);
  return w.finish();
}

}  // namespace segsniff
