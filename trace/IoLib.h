#ifndef MODELFACTORY_TRACE_IOLIB_H
#define MODELFACTORY_TRACE_IOLIB_H

// Internal to the chromatogram reader: the trace decoder's functions, taken from its library the
// first time a chromatogram is decoded rather than linked at start-up. A command that reads no
// chromatogram never loads the decoder, nor the network and security libraries it depends on.
// Call these as the decoder's own functions, under ioLibMutex() as before.

#include <io_lib/Read.h>
#include <io_lib/expFileIO.h>
#include <io_lib/traceType.h>
#include <io_lib/ztr.h>

#include <stdexcept>

namespace Ovik {
namespace iolib {

/// Thrown by every function below when the decoder's library cannot be loaded: chromatogram work
/// fails with that reason, everything else goes on.
class Unavailable : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

mFILE* mfcreate(char* data, int size);
int mfdestroy(mFILE* file);
void* mfsteal(mFILE* file, size_t* size);
int fdetermine_trace_type(mFILE* file);
int trace_type_str2int(char* name);
Read* mfread_reading(mFILE* file, char* name, int format);
/// The sections (READ_BASES, READ_SAMPLES, READ_COMMENTS) the readers decode from now on; 0 only
/// asks. A process-wide setting of the decoder: change it only under ioLibMutex().
int read_sections(int sections);
void read_deallocate(Read* read);
ztr_t* mfread_ztr(mFILE* file);
int uncompress_ztr(ztr_t* ztr);
Read* ztr2read(ztr_t* ztr);
void delete_ztr(ztr_t* ztr);
Exp_info* exp_mfread_info(mFILE* file);
void exp_destroy_info(Exp_info* info);

} // namespace iolib
} // namespace Ovik

#endif
