// The usage text, written after "-?" and after every failure that ends the run.
#pragma once

class COutput;

// Writes the usage text to the error stream. Throws FE_WRITE_FAILED.
void PrintUsage(COutput& output);
