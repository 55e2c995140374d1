// The JSON form of findings, inputs and marker walks.
#include "shell/json_printer.h"

#include <cstdio>
#include <cstring>

#include "platform/system_error.h"
#include "shell/channels.h"
#include "shell/error_report.h"
#include "shell/format_text.h"
#include "shell/text_printer.h"

namespace segsniff {

// ---- Findings

// A finding goes to the innermost open node, with one correction: a
// complaint about an IFD's own table (its count, an entry that is refused,
// the next-IFD offset) that comes while the entry before it is still open
// belongs to the IFD, not to that entry.
void JsonPrinter::vfinding(Channel channel, Offset at, const char* format, std::va_list args) {
  char local[512];
  va_list copy;
  va_copy(copy, args);
  const int n = format_text(local, sizeof local, format, copy);
  va_end(copy);
  if (n < 0) return;
  if (static_cast<std::size_t>(n) < sizeof local) {
    finding_text_.assign(local, static_cast<std::size_t>(n));
  } else {
    finding_text_.assign(static_cast<std::size_t>(n) + 1, '\0');
    format_text(finding_text_.data(), finding_text_.size(), format, args);
    finding_text_.resize(static_cast<std::size_t>(n));
  }
  if (!finding_text_.empty() && finding_text_.back() == '\n') finding_text_.pop_back();

  if (doc_.line_open() && doc_.top() == JsonNode::entry && doc_.parent() == JsonNode::ifd) {
    const JsonDocument::Memo& entry = doc_.memo();
    const JsonDocument::Memo& ifd = doc_.parent_memo();
    const std::uint64_t table_bytes = 2 + 12 * ifd.size + 4;
    const bool in_table = at != no_position && at >= ifd.at && at - ifd.at < table_bytes;
    const bool in_entry = at != no_position && at >= entry.at && at - entry.at < 12;
    if (in_table && !in_entry) doc_.close();
  }
  if (in_input_ && !carving_ && !doc_.line_open()) begin_file_document();
  JsonFinding finding{finding_text_, at, channel};
  if (!doc_.add_finding(finding)) input_.findings.push_back(std::move(finding));
}

// ---- One input

void JsonPrinter::file_begin(std::string_view name) {
  doc_.close_all();
  walk_depth_ = 0;
  input_ = Input{};
  input_.name = name;
  in_input_ = true;
}

void JsonPrinter::failed(const char* step, int error) {
  input_.failure = step;
  input_.error = error;
}

// The failures print on standard error as in the text listing (no document
// of this input has been begun yet), and go into its document.
void JsonPrinter::file_open_failed(std::string_view name, int error) {
  TextPrinter().file_open_failed(name, error);
  failed("open", error);
}

void JsonPrinter::carving_refused(std::string_view name, CarvingRefusal reason,
                                  std::string_view folder) {
  TextPrinter().carving_refused(name, reason, folder);
  failed("carving_refused", 0);
  switch (reason) {
    case CarvingRefusal::output_folder_failed: input_.refusal = "output_folder_failed"; break;
    case CarvingRefusal::folder_on_device: input_.refusal = "folder_on_device"; break;
    case CarvingRefusal::report_failed: input_.refusal = "report_failed"; break;
    case CarvingRefusal::report_on_device: input_.refusal = "report_on_device"; break;
  }
  const bool for_report =
      reason == CarvingRefusal::report_failed || reason == CarvingRefusal::report_on_device;
  input_.refused_for = for_report ? "report" : "folder";
  input_.folder = folder;
}

void JsonPrinter::file_size_failed(std::string_view name, int error) {
  TextPrinter().file_size_failed(name, error);
  failed("size", error);
}

void JsonPrinter::file_size(std::uint64_t size) {
  input_.has_size = true;
  input_.size = size;
}

// Standard output holds documents only: the line that the text listing
// prints there goes to standard error here.
void JsonPrinter::file_map_failed(MapStep step, int error) {
  if (step == MapStep::create_mapping) {
    err_printf("create file mapping failed\n");
    failed("create_mapping", error);
  } else {
    err_printf("create mapview of file failed\n");
    failed("map_view", error);
  }
  report_last_error(error);
}

void JsonPrinter::file_mapped(std::uint64_t) { input_.mapped = true; }

// The document is cut off here; its line is ended at file_end, and the
// line on standard error follows it, so that it never splits a line when
// both streams go to one place.
void JsonPrinter::file_shrank(std::string_view, std::uint64_t size_now) {
  input_.stopped = "file_shrank";
  input_.stopped_at = size_now;
}

void JsonPrinter::file_read_error(std::string_view, std::uint64_t page_offset) {
  input_.stopped = "read_error";
  input_.stopped_at = page_offset;
}

void JsonPrinter::print_stop_line() {
  if (input_.stopped == nullptr) return;
  if (std::strcmp(input_.stopped, "file_shrank") == 0)
    TextPrinter().file_shrank(input_.name, input_.stopped_at);
  else
    TextPrinter().file_read_error(input_.name, input_.stopped_at);
}

void JsonPrinter::begin_file_document() {
  doc_.begin_line();
  doc_.field("type").String("file");
  doc_.text_field("name", "name_hex", input_.name);
  if (input_.has_size) doc_.field("size").Uint64(input_.size);
}

// The fields that are known at the input's end.
void JsonPrinter::write_input_fields() {
  if (input_.failure != nullptr) {
    doc_.field("failure").StartObject();
    doc_.writer().Key("step");
    doc_.writer().String(input_.failure);
    if (input_.refusal != nullptr) {
      doc_.writer().Key("reason");
      doc_.writer().String(input_.refusal);
      doc_.writer().Key(input_.refused_for);
      doc_.text(input_.folder);
    } else {
      doc_.writer().Key("errno");
      doc_.writer().Int(input_.error);
      doc_.writer().Key("message");
      doc_.text(platform::error_text_in_line(input_.error));
    }
    doc_.writer().EndObject();
  }
  if (input_.stopped != nullptr) {
    doc_.field("stopped").StartObject();
    doc_.writer().Key("reason");
    doc_.writer().String(input_.stopped);
    doc_.writer().Key(std::strcmp(input_.stopped, "file_shrank") == 0 ? "size_now"
                                                                       : "page_offset");
    doc_.writer().Uint64(input_.stopped_at);
    doc_.writer().EndObject();
  }
}

void JsonPrinter::end_input() {
  if (!carving_) {
    if (!doc_.line_open()) begin_file_document();
    doc_.close_inside(JsonNode::line);
    write_input_fields();
    doc_.close();
    return;
  }
  doc_.close_all();  // the last candidate
  doc_.begin_line();
  doc_.field("type").String("carving");
  doc_.text_field("file", "file_hex", input_.name);
  if (input_.has_size) doc_.field("size").Uint64(input_.size);
  if (input_.has_block) {
    doc_.field("block_size").Uint64(input_.block);
    doc_.field("block_size_from_boot_sector").Bool(input_.block_from_boot_sector);
  }
  doc_.field("candidates").Uint64(input_.tally.candidates);
  doc_.field("files").Uint64(input_.tally.files);
  doc_.field("bytes").Uint64(input_.tally.bytes);
  doc_.field("failures").Uint64(input_.tally.failures);
  write_input_fields();
  for (JsonFinding& finding : input_.findings) doc_.add_finding(std::move(finding));
  doc_.close();
}

void JsonPrinter::file_end() {
  if (!in_input_) return;
  end_input();
  print_stop_line();
  in_input_ = false;
}

// ---- Marker walk

void JsonPrinter::walk_begin(Offset begin, Offset end) {
  if (++walk_depth_ == 1) data_allowance_ = 0;
  if (!doc_.line_open()) {
    if (carving_ || !in_input_) return;  // a walk outside any document
    begin_file_document();
  }
  doc_.open_object("walk", JsonNode::walk);
  doc_.memo().at = begin;
  doc_.memo().size = end;
  doc_.field("begin").Uint64(begin);
  doc_.field("end").Uint64(end);
}

void JsonPrinter::walk_end(Offset stopped_at) {
  if (walk_depth_ > 0) --walk_depth_;
  if (!doc_.close_inside(JsonNode::walk)) return;
  const Offset end = doc_.memo().size;
  doc_.field("stopped_at");
  doc_.number_or_null(stopped_at);
  if (stopped_at != no_position && stopped_at < end) {
    doc_.field("trailing").StartObject();
    doc_.writer().Key("offset");
    doc_.writer().Uint64(stopped_at);
    doc_.writer().Key("length");
    doc_.writer().Uint64(end - stopped_at);
    doc_.writer().EndObject();
  }
  doc_.close();
}

}  // namespace segsniff
