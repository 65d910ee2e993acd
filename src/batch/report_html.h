// The HTML report, written as the files arrive in the collection's order.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "batch/album_summary.h"
#include "batch/batch_file.h"

struct HtmlReport {
    FILE* stream;
    bool with_actions;
    std::string tracks;   // the pictures of the HDCD tracks so far
    std::string rows;     // the rows of the files table so far
};

void report_html_begin(HtmlReport& report, FILE* stream, bool with_actions);
void report_html_file(HtmlReport& report, const BatchFile& file);
void report_html_end(HtmlReport& report, const std::vector<BatchAlbum>& albums, const BatchTotals& totals);
