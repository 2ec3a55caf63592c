// Loading the library at run time and binding its exports by name, as any application does
// (LoadLibraryA/GetProcAddress on Windows, dlopen/dlsym on the host); and building the
// automation VARIANT form of a text.
#pragma once

// The library's name when none is given: found beside btctl or on the search path.
extern const char* const kDefaultLibrary;

// Loads path; null with a reason in *why when it cannot.
void* LoadLibraryByName(const char* path, const char** why);
void* BindExport(void* library, const char* name);
void UnloadLibrary(void* library);

// Windows looks for a DLL in the program's folder first, and (until told not to) in the
// current one. btctl, which the service runs as the system, loads the system's DLLs it needs
// at run time from the system folder by full path, and takes the current folder out of the
// search at its start; the one DLL it loads from its own folder is the library. On the host
// LoadSystemLibrary gives null and the other does nothing.
void* LoadSystemLibrary(const char* name);
void LeaveCurrentFolderOutOfDllSearch();

// The library keeps a copy of the settings as Quorvex.ini in the current directory, and a
// call naming a port without a control device rewrites that port's block there. A watch run
// from the folder of the settings file that the driver and the setup program use (the
// install folder) must only read that file, so its calls run with a folder of its own as the
// current directory. Makes that folder: "QuorvexWatch" in the temporary folder, or the one
// given. False when it cannot be had.
bool MakeLibraryCallFolder(char* out, unsigned size);

// Makes folder the current directory while it lives, then restores the one before. With an
// empty folder it changes nothing.
class LibraryCallFolder {
 public:
  explicit LibraryCallFolder(const char* folder);
  ~LibraryCallFolder();
  LibraryCallFolder(const LibraryCallFolder&) = delete;
  LibraryCallFolder& operator=(const LibraryCallFolder&) = delete;

 private:
  char saved_[1024];
  bool switched_ = false;
};

// A VARIANT holding a BSTR made of the bytes of text (each widened to one UTF-16 unit).
class TextAsVariant {
 public:
  explicit TextAsVariant(const char* text);
  ~TextAsVariant();
  TextAsVariant(const TextAsVariant&) = delete;
  TextAsVariant& operator=(const TextAsVariant&) = delete;
  const void* get() const { return storage_; }

 private:
  alignas(8) unsigned char storage_[24];
  void* owned_ = nullptr;
};
