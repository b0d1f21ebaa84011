#pragma once

namespace pw {

// Raises the limit on open files to the most the system allows this process. A group of rewrites
// holds a few descriptors per file until it is committed, more than the usual default of 1024
// leaves room for; nothing in this program uses select(), which that default protects.
void RaiseOpenFileLimit();

} // namespace pw
