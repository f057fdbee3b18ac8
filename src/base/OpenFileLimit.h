#pragma once
// How many files the process may hold open. A batch holds a descriptor for every folder it
// locks and a few for every file prepared and waiting for its group, so a site of many folders
// needs more than the usual soft limit of 1024.

#include <cstddef>

// Raises the soft limit on open files to the hard one (as far as the system lets it); the
// programs call it once while they start.
void RaiseOpenFileLimit();

// The soft limit on open files now in force.
std::size_t OpenFileLimit();
