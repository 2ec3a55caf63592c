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
