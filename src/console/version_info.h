// Product name, version and copyright notice. This header holds nothing but
// #define lines so that the Windows resource script can include it too: the
// texts printed on the console and the version resource come from here alone.
#pragma once

#define QV_VERSION_MAJOR 1
#define QV_VERSION_MINOR 0
#define QV_VERSION_PATCH 1
#define QV_VERSION_BUILD 0

// "1.0.1.0": file and product version as text.
#define QV_VERSION_TEXT "1.0.1.0"

// "QV-HDCD 1.0.1.0": the version line, also written as the ENCODER comment.
#define QV_PRODUCT_VERSION_LINE "QV-HDCD 1.0.1.0"

#define QV_PRODUCT_NAME "QV-HDCD"
#define QV_PRODUCT_DESCRIPTION "Varnel HDCD Audio Converter"

// First banner line: product, version and description.
#define QV_BANNER_LINE "QV-HDCD 1.0.1.0 - Varnel HDCD Audio Converter"

// Second banner line: the maker's copyright notice.
#define QV_COPYRIGHT_TEXT "Copyright (c) 2026 Varnel. All rights reserved."

#define QV_EXECUTABLE_NAME "qv-hdcd.exe"

// The collection program's file name and description (Windows version resource).
#define QV_BATCH_EXECUTABLE_NAME "qv-hdcd-batch.exe"
#define QV_BATCH_DESCRIPTION "Varnel HDCD Collection Scanner and Decoder"
