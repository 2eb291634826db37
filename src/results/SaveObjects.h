#pragma once
#include <string>

namespace loftwick {

class SaveHost;

// Saving copies of cached objects as plain files. Copies go below the save root (the "Temp directory:"
// field) in one of three modes, compared exactly: "tree" (the URL's directories, host first), "domain"
// (one directory per host) and anything else, "none" (all files in the root). Nothing is ever written
// outside the root or through a symbolic link below it; the cache itself is only read.

// Saves the current result and returns the path of the copy ("" when there is no current result or a
// step of its own failed, which is reported as "frmMain:SaveOneFile"). A file standing where a directory
// is needed moves into that directory under a default name. With `overwrite` false an existing file is
// kept and its path returned. A failed copy is reported by the cache object; the path is still returned.
std::string SaveOneFile(SaveHost& host, const std::string& mode, bool overwrite);

// Saves every result, in order, with overwriting. The window stays responsive, the status line shows
// "Saving i of n" and at the end how many were saved and how many failed; a failure is reported and the
// next object is saved all the same. CurrentResult is left at the last index.
// Returns how many objects could not be saved.
int64_t SaveAllFiles(SaveHost& host, const std::string& mode);

// "Save As...": copies the current result to a path the user picks; DirPrev follows the choice.
void mnuFileSave_Click(SaveHost& host);
// "Save to temp dir with tree": the current result, in tree mode, overwriting.
void mnuSaveTree_Click(SaveHost& host);
// "Save All to temp dir with tree", "Save All to one temp dir per domain", "Save All to single temp dir".
void mnuSaveTreeAll_Click(SaveHost& host);
void mnuSaveDomain_Click(SaveHost& host);
void mnuSaveAll_Click(SaveHost& host);

}  // namespace loftwick
