// Temporary: commands whose code has not landed yet end with this message.
#pragma once

int report_not_built(const char* what);
