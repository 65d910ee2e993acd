#pragma once

enum HdcdCheckResult {
    HDCD_CHECK_CANCELLED = -2,
    HDCD_CHECK_FAILED = -1,
    HDCD_CHECK_ABSENT = 0,
    HDCD_CHECK_FOUND = 1,
};

// Confirms that the input carries valid HDCD signalling before a conversion.
int check_input_for_hdcd(const char* input_path, bool quiet);
