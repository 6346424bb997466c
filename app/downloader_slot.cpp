#include "app/downloader_slot.h"

#include "download/download.h"

namespace zelbrin {

Download* createDownloader() { return new Download(); }

void destroyDownloader(Download* download) { delete download; }

}  // namespace zelbrin
