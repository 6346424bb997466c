// Creation and destruction of the one download engine object, kept apart so the shared state
// needs only a forward declaration of Download.
#pragma once

namespace zelbrin {

class Download;

// A Download with no engine behind it yet; the engine starts when the first task is added.
Download* createDownloader();
// Destroying the object stops a running transfer; nullptr is fine.
void destroyDownloader(Download* download);

}  // namespace zelbrin
