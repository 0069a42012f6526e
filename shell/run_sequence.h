// What the Run button does: the file phase and the registry phase of the detected family,
// framed by section rows, and the summary box.
#pragma once

void RunRemoval();
