// Temporary stand-ins for operations that have not landed yet. Each is removed
// from this file when its real implementation arrives.
#include "audio_io/flac_library.h"
#include "audio_io/metadata_tags.h"
#include "operations/not_built.h"


