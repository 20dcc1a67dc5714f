// The one call that adds the library's extension sources to a factory.
#include "factory/Extensions.h"

#include "factory/CompressedFileSource.h"
#include "factory/ModelFactory.h"

#include <contracts/SeqArchive.h>

namespace Ovik {

void addExtensionSources(ModelFactory& factory) {
    factory.addSource(boost::shared_ptr<Velm::ModelSource>(new FastqModelSource), false);
    // Its name sorts after the others': a source that knows a compressed name itself (FASTQ for
    // ".fq.gz") is asked first, and this one takes what they leave.
    factory.addSource(boost::shared_ptr<Velm::ModelSource>(new CompressedFileSource(factory)), false);
}

} // namespace Ovik
