#pragma once

// Registers the resources compiled into the static resource library. Call once before
// the first resource is read; repeated calls are harmless.
void varnoInitResources();
