/// \file
/// CArchive: binary values in little-endian order, object graphs in the tagged form below, and
/// a buffered line reader over a text file.
///
/// Object tagging (words are 16 bits): a null pointer is 0x0000; a new object of a new class is
/// 0xFFFF, the schema word, the name length word and the name bytes, then the object's
/// Serialize output; a new object of a class already stored is 0x8000 | class index, then the
/// object; an object already stored is its index. Indices count from 1 in order of first
/// appearance, classes and objects sharing one counter; an index of 0x7FFF or more is written
/// as the word 0x7FFF and a 32-bit word (with 0x80000000 set for a class).
///
/// Errors throw CArchiveException by value. On a failed load the archive deletes the object it
/// was creating and forgets it and every object created inside it (a later reference to any of
/// them is a bad index); objects already handed to an enclosing Serialize belong to that object.
///
/// Choices of this platform:
///  - Storing an object whose class has type information only (schema 0xFFFF) throws badClass.
///  - Objects loaded one inside another deeper than 2000 levels throw generic (a malformed
///    archive must not exhaust the stack).
///  - Reading from a storing archive throws writeOnly, writing to a loading one readOnly.
///  - A long is stored as its low 32 bits.
///  - The line reader keeps every other byte (NUL included) as text; a carriage return as the
///    file's last byte ends the last line.
#pragma once

#include <tarvel/platform/Exceptions.h>
#include <tarvel/platform/Export.h>
#include <tarvel/platform/String.h>

#include <memory>
#include <unordered_map>
#include <vector>

class CFile;
class CObject;
struct CRuntimeClass;

/// Binary object archive over a CFile, and a line reader (this file's comment gives the format).
class TARVEL_API CArchive
{
public:
    /// The mode bits of the constructor: store or load, and bNoFlushOnDelete.
    enum Mode : UINT
    {
        store = 0,
        load = 1,
        bNoFlushOnDelete = 2
    };

    /// An archive on the open file pFile in the mode nMode, buffered by nBufSize bytes (lpBuf, when
    /// given, is the caller's buffer of that size).
    CArchive(CFile* pFile, UINT nMode, int nBufSize = 4096, void* lpBuf = nullptr);
    ~CArchive();  ///< closes an open archive (errors are swallowed there)
    CArchive(const CArchive&) = delete;
    CArchive& operator=(const CArchive&) = delete;

    BOOL IsLoading() const { return (m_nMode & load) != 0; }  ///< the archive reads
    BOOL IsStoring() const { return (m_nMode & load) == 0; }  ///< the archive writes
    CFile* GetFile() const { return m_pFile; }                ///< the file it works on
    /// Storing: writes the buffer out. Loading: gives back the bytes read ahead, so that the
    /// file stands just after the last byte consumed.
    void Flush();
    /// Flush, then detach from the file (the file stays open).
    void Close();
    /// Detach without flushing.
    void Abort();

    UINT Read(void* lpBuf, UINT nMax);         ///< fewer bytes only at the end of the file
    void Write(const void* lpBuf, UINT nMax);  ///< all nMax bytes

    /// Binary values, little-endian: BYTE 1 byte, WORD 2, DWORD/int/long/unsigned/float 4,
    /// LONGLONG/double 8. A value cut short by the end of the file throws endOfFile.
    ///@{
    CArchive& operator<<(BYTE b);
    CArchive& operator<<(WORD w);
    CArchive& operator<<(DWORD dw);
    CArchive& operator<<(int i);
    CArchive& operator<<(long l);  ///< stored as 4 bytes
    CArchive& operator<<(LONGLONG ll);
    CArchive& operator<<(float f);
    CArchive& operator<<(double d);
    CArchive& operator>>(BYTE& b);
    CArchive& operator>>(WORD& w);
    CArchive& operator>>(DWORD& dw);
    CArchive& operator>>(int& i);
    CArchive& operator>>(long& l);  ///< sign-extended from 4 bytes
    CArchive& operator>>(LONGLONG& ll);
    CArchive& operator>>(float& f);
    CArchive& operator>>(double& d);
    ///@}

    /// Objects.
    void WriteObject(const CObject* pOb);
    /// Loads one object, which must be of the expected class or derived from it (any class when
    /// pClassRefRequested is null); a later reference to the same object gives the same pointer.
    CObject* ReadObject(const CRuntimeClass* pClassRefRequested);
    /// A class reference alone, tagged as an object's class is; ReadClass reads one (null when it
    /// is not pClassRefRequested or derived from it; pSchema and pObTag, when given, receive the
    /// stored schema and tag).
    ///@{
    void WriteClass(const CRuntimeClass* pClassRef);
    CRuntimeClass* ReadClass(const CRuntimeClass* pClassRefRequested = nullptr,
                             UINT* pSchema = nullptr, DWORD* pObTag = nullptr);
    ///@}
    /// The schema of the object being loaded, as stored with its class.
    UINT GetObjectSchema() const { return m_nObjectSchema; }
    /// Loading: a mark of the classes and objects registered so far, and the objects registered
    /// after such a mark that are still known. A Serialize that holds objects without owning them
    /// uses the two to delete, when its load fails, the objects created for it.
    ///@{
    DWORD GetLoadMark() const { return DWORD(m_loadArray.size()); }
    std::vector<CObject*> GetObjectsLoadedSince(DWORD nMark) const;
    ///@}

    /// Lines. ReadString returns one line without its line end (a line feed, or a carriage
    /// return together with the character after it); FALSE at the end of the file.
    BOOL ReadString(CString& rString);
    void WriteString(LPCTSTR lpsz);  ///< the bytes of lpsz, no line end added

private:
    /// Loading: keeps the unread bytes and reads from the file until at least nMinBytes are
    /// buffered or the file ends.
    void fill_buffer(UINT nMinBytes);
    /// Storing: writes the buffered bytes to the file.
    void write_buffer();
    /// Exactly n bytes: endOfFile when the file ends first.
    void read_exact(void* p, UINT n);
    void write_bytes(const void* p, UINT n);
    void write_tag(DWORD index, bool isClass);
    void require_loading() const;
    void require_storing() const;

    CFile* m_pFile;
    UINT m_nMode;
    std::unique_ptr<BYTE[]> m_pOwnedBuf;
    BYTE* m_lpBufStart;
    BYTE* m_lpBufCur;
    BYTE* m_lpBufMax;  ///< loading: end of the valid data; storing: end of the buffer
    UINT m_nBufSize;
    UINT m_nObjectSchema = 0xFFFFFFFF;
    int m_nLoadDepth = 0;  ///< objects being loaded, one inside the other

    /// Storing: object or class address -> index.
    std::unordered_map<const void*, DWORD> m_storeMap;
    /// Loading: index -> object or class; element 0 stands for the null pointer.
    struct LoadEntry
    {
        void* p;  ///< CObject* or CRuntimeClass*; null for an object whose loading failed
        bool isClass;
        UINT schema;  ///< classes: the stored schema
    };
    std::vector<LoadEntry> m_loadArray;
    DWORD m_nMapCount = 1;  ///< the next index; index 0 is the null pointer
};

/// ar.WriteObject(pOb), and ar.ReadObject(nullptr) into pOb.
///@{
TARVEL_API CArchive& operator<<(CArchive& ar, const CObject* pOb);
TARVEL_API CArchive& operator>>(CArchive& ar, CObject*& pOb);
TARVEL_API CArchive& operator>>(CArchive& ar, const CObject*& pOb);
///@}
