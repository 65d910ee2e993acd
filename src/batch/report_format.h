// What the JSON report's writer and its reader agree on: the document's mark,
// and the texts of a file's modification time and identity.
#pragma once

#include <cstdint>
#include <string>

#include "batch/batch_file.h"

constexpr char REPORT_TOOL_NAME[] = "qv-hdcd-batch";
// Raised whenever a report's entries change meaning: a reader takes only its own.
constexpr int REPORT_FORMAT_NUMBER = 2;

// "2026-12-07T16:22:03.123456789Z" (UTC, nanoseconds); empty when unknown.
std::string report_modified_text(const BatchFile& file);
// Reads that text back; false when it is not one.
bool report_modified_parse(const std::string& text, int64_t& seconds, uint32_t& nanoseconds);

// "VOLUME:INDEX" in lower-case hex; empty when the system gave none.
std::string report_identity_text(const BatchFile& file);
bool report_identity_parse(const std::string& text, FileIdentity& identity);

// The JSON lists every entry of the walk: what batch_file_reported keeps, and
// the other files, so that merged reports count them as one scan would.
bool report_json_lists(const BatchFile& file, bool with_actions);
