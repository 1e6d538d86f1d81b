// CArchive: buffered binary values, object tagging, and the line reader.
//
// Buffer invariants:
//  B1  m_lpBufStart <= m_lpBufCur <= m_lpBufMax <= m_lpBufStart + m_nBufSize
//  B2  loading: [m_lpBufCur, m_lpBufMax) are bytes read from the file ahead of the caller, so
//      the caller's logical position is the file position minus (m_lpBufMax - m_lpBufCur)
//  B3  storing: m_lpBufMax is the end of the buffer and [m_lpBufStart, m_lpBufCur) are bytes
//      not yet handed to the file
#include <tarvel/platform/Archive.h>
#include <tarvel/platform/File.h>
#include <tarvel/platform/Object.h>

#include <algorithm>
#include <cstring>

namespace
{

constexpr UINT kMinBufSize = 16;  // room for the widest value (8 bytes) and more
constexpr WORD kNullTag = 0x0000;
constexpr WORD kNewClassTag = 0xFFFF;
constexpr WORD kClassTag = 0x8000;
constexpr WORD kBigObjectTag = 0x7FFF;  // a 32-bit index follows
constexpr DWORD kBigClassTag = 0x80000000;
constexpr DWORD kMaxMapCount = 0x3FFFFFFE;
// Objects loaded one inside another. Each level costs a few stack frames (ReadObject, the
// class's Serialize, an extraction operator); the limit keeps a malformed archive that nests
// objects without end from exhausting the stack.
constexpr int kMaxLoadDepth = 2000;

[[noreturn]] void throw_archive(int cause) { throw CArchiveException(cause); }

}  // namespace

CArchive::CArchive(CFile* pFile, UINT nMode, int nBufSize, void* lpBuf)
    : m_pFile(pFile), m_nMode(nMode)
{
    if (lpBuf != nullptr && nBufSize >= int(kMinBufSize))
    {
        m_lpBufStart = static_cast<BYTE*>(lpBuf);
        m_nBufSize = UINT(nBufSize);
    }
    else
    {
        m_nBufSize = std::max(UINT(std::max(nBufSize, 0)), kMinBufSize);
        m_pOwnedBuf.reset(new BYTE[m_nBufSize]);
        m_lpBufStart = m_pOwnedBuf.get();
    }
    m_lpBufCur = m_lpBufStart;
    m_lpBufMax = IsLoading() ? m_lpBufStart : m_lpBufStart + m_nBufSize;
    if (IsLoading()) m_loadArray.push_back(LoadEntry{nullptr, false, 0});  // index 0: null
}

CArchive::~CArchive()
{
    if (m_pFile == nullptr) return;
    try
    {
        if (m_nMode & bNoFlushOnDelete)
            Abort();
        else
            Close();
    }
    catch (const CException&)
    {
        // A destructor cannot report; a caller who needs the outcome calls Close first.
    }
}

// ---------------------------------------------------------------------------------------------
// Buffer and file

void CArchive::require_loading() const
{
    if (m_pFile == nullptr) throw_archive(CArchiveException::generic);
    if (!IsLoading()) throw_archive(CArchiveException::writeOnly);
}

void CArchive::require_storing() const
{
    if (m_pFile == nullptr) throw_archive(CArchiveException::generic);
    if (IsLoading()) throw_archive(CArchiveException::readOnly);
}

void CArchive::fill_buffer(UINT nMinBytes)
{
    const std::size_t unread = std::size_t(m_lpBufMax - m_lpBufCur);
    if (m_lpBufCur != m_lpBufStart && unread > 0) std::memmove(m_lpBufStart, m_lpBufCur, unread);
    m_lpBufCur = m_lpBufStart;
    m_lpBufMax = m_lpBufStart + unread;
    while (UINT(m_lpBufMax - m_lpBufStart) < nMinBytes)
    {
        const UINT room = m_nBufSize - UINT(m_lpBufMax - m_lpBufStart);
        const UINT got = m_pFile->Read(m_lpBufMax, room);
        if (got == 0) break;  // end of file
        m_lpBufMax += got;
    }
}

void CArchive::write_buffer()
{
    const UINT pending = UINT(m_lpBufCur - m_lpBufStart);
    m_lpBufCur = m_lpBufStart;  // a failed write is not retried by a later flush
    if (pending > 0) m_pFile->Write(m_lpBufStart, pending);
}

void CArchive::Flush()
{
    if (m_pFile == nullptr) return;
    if (IsLoading())
    {
        const LONGLONG unread = LONGLONG(m_lpBufMax - m_lpBufCur);
        m_lpBufCur = m_lpBufMax = m_lpBufStart;
        if (unread > 0) m_pFile->Seek(-unread, CFile::current);  // B2: give back the read-ahead
    }
    else
    {
        write_buffer();
    }
}

void CArchive::Close()
{
    Flush();
    m_pFile = nullptr;
}

void CArchive::Abort()
{
    m_pFile = nullptr;
    m_lpBufCur = m_lpBufStart;
    m_lpBufMax = IsLoading() ? m_lpBufStart : m_lpBufStart + m_nBufSize;
}

UINT CArchive::Read(void* lpBuf, UINT nMax)
{
    require_loading();
    BYTE* out = static_cast<BYTE*>(lpBuf);
    UINT done = std::min(nMax, UINT(m_lpBufMax - m_lpBufCur));
    if (done > 0) std::memcpy(out, m_lpBufCur, done);
    m_lpBufCur += done;
    if (done == nMax) return done;

    // The buffer is exhausted. A large remainder goes straight from the file to the caller.
    const UINT remaining = nMax - done;
    m_lpBufCur = m_lpBufMax = m_lpBufStart;
    if (remaining >= m_nBufSize) return done + m_pFile->Read(out + done, remaining);
    fill_buffer(remaining);
    const UINT more = std::min(remaining, UINT(m_lpBufMax - m_lpBufCur));
    if (more > 0) std::memcpy(out + done, m_lpBufCur, more);
    m_lpBufCur += more;
    return done + more;
}

void CArchive::Write(const void* lpBuf, UINT nMax)
{
    require_storing();
    const BYTE* in = static_cast<const BYTE*>(lpBuf);
    if (nMax <= UINT(m_lpBufMax - m_lpBufCur))
    {
        if (nMax > 0) std::memcpy(m_lpBufCur, in, nMax);
        m_lpBufCur += nMax;
        return;
    }
    write_buffer();
    if (nMax >= m_nBufSize)
    {
        m_pFile->Write(in, nMax);
        return;
    }
    std::memcpy(m_lpBufCur, in, nMax);
    m_lpBufCur += nMax;
}

void CArchive::read_exact(void* p, UINT n)
{
    if (m_pFile != nullptr && IsLoading() && UINT(m_lpBufMax - m_lpBufCur) >= n)
    {
        std::memcpy(p, m_lpBufCur, n);
        m_lpBufCur += n;
        return;
    }
    if (Read(p, n) != n) throw_archive(CArchiveException::endOfFile);
}

void CArchive::write_bytes(const void* p, UINT n)
{
    if (m_pFile != nullptr && !IsLoading() && UINT(m_lpBufMax - m_lpBufCur) >= n)
    {
        std::memcpy(m_lpBufCur, p, n);
        m_lpBufCur += n;
        return;
    }
    Write(p, n);
}

// ---------------------------------------------------------------------------------------------
// Binary values, little-endian whatever the host's byte order.

namespace
{

template <int N> void to_le(std::uint64_t v, BYTE (&b)[N])
{
    for (int i = 0; i < N; ++i) b[i] = BYTE(v >> (8 * i));
}

template <int N> std::uint64_t from_le(const BYTE (&b)[N])
{
    std::uint64_t v = 0;
    for (int i = N - 1; i >= 0; --i) v = (v << 8) | b[i];
    return v;
}

}  // namespace

#define TARVEL_ARCHIVE_STORE(N, expr)                                                              \
    BYTE bytes[N];                                                                                 \
    to_le(std::uint64_t(expr), bytes);                                                             \
    write_bytes(bytes, N);                                                                         \
    return *this;

#define TARVEL_ARCHIVE_LOAD(N, var)                                                                \
    BYTE bytes[N];                                                                                 \
    read_exact(bytes, N);                                                                          \
    const std::uint64_t var = from_le(bytes);

CArchive& CArchive::operator<<(BYTE b){
    TARVEL_ARCHIVE_STORE(1, b)} CArchive& CArchive::operator<<(WORD w){
    TARVEL_ARCHIVE_STORE(2, w)} CArchive& CArchive::operator<<(DWORD dw){
    TARVEL_ARCHIVE_STORE(4, dw)} CArchive& CArchive::operator<<(int i){
    TARVEL_ARCHIVE_STORE(4, std::uint32_t(i))}
// Values outside 32 bits keep their low 32 bits (two's complement).
CArchive& CArchive::operator<<(long l){
    TARVEL_ARCHIVE_STORE(4, std::uint32_t(l))} CArchive& CArchive::operator<<(LONGLONG ll){
    TARVEL_ARCHIVE_STORE(8, ll)}

CArchive& CArchive::operator<<(float f)
{
    std::uint32_t u;
    std::memcpy(&u, &f, sizeof u);
    TARVEL_ARCHIVE_STORE(4, u)
}

CArchive& CArchive::operator<<(double d)
{
    std::uint64_t u;
    std::memcpy(&u, &d, sizeof u);
    TARVEL_ARCHIVE_STORE(8, u)
}

CArchive& CArchive::operator>>(BYTE& b)
{
    TARVEL_ARCHIVE_LOAD(1, v)
    b = BYTE(v);
    return *this;
}

CArchive& CArchive::operator>>(WORD& w)
{
    TARVEL_ARCHIVE_LOAD(2, v)
    w = WORD(v);
    return *this;
}

CArchive& CArchive::operator>>(DWORD& dw)
{
    TARVEL_ARCHIVE_LOAD(4, v)
    dw = DWORD(v);
    return *this;
}

CArchive& CArchive::operator>>(int& i)
{
    TARVEL_ARCHIVE_LOAD(4, v)
    const std::uint32_t u = std::uint32_t(v);
    std::int32_t s;
    std::memcpy(&s, &u, sizeof s);
    i = s;
    return *this;
}

CArchive& CArchive::operator>>(long& l)
{
    int i;
    *this >> i;
    l = i;  // sign-extended
    return *this;
}

CArchive& CArchive::operator>>(LONGLONG& ll)
{
    TARVEL_ARCHIVE_LOAD(8, v)
    std::memcpy(&ll, &v, sizeof ll);
    return *this;
}

CArchive& CArchive::operator>>(float& f)
{
    TARVEL_ARCHIVE_LOAD(4, v)
    const std::uint32_t u = std::uint32_t(v);
    std::memcpy(&f, &u, sizeof f);
    return *this;
}

CArchive& CArchive::operator>>(double& d)
{
    TARVEL_ARCHIVE_LOAD(8, v)
    std::memcpy(&d, &v, sizeof d);
    return *this;
}

#undef TARVEL_ARCHIVE_STORE
#undef TARVEL_ARCHIVE_LOAD

// ---------------------------------------------------------------------------------------------
// Object tagging

void CArchive::write_tag(DWORD index, bool isClass)
{
    if (index < kBigObjectTag)
    {
        *this << WORD(isClass ? (kClassTag | index) : index);
    }
    else
    {
        *this << kBigObjectTag;
        *this << DWORD(isClass ? (kBigClassTag | index) : index);
    }
}

void CArchive::WriteClass(const CRuntimeClass* pClassRef)
{
    require_storing();
    if (pClassRef == nullptr || pClassRef->m_wSchema == 0xFFFF)
        throw_archive(CArchiveException::badClass);  // type information only: not storable
    const auto known = m_storeMap.find(pClassRef);
    if (known != m_storeMap.end())
    {
        write_tag(known->second, true);
        return;
    }
    if (m_nMapCount >= kMaxMapCount) throw_archive(CArchiveException::badIndex);
    *this << kNewClassTag;
    pClassRef->Store(*this);
    m_storeMap.emplace(pClassRef, m_nMapCount++);
}

void CArchive::WriteObject(const CObject* pOb)
{
    require_storing();
    if (pOb == nullptr)
    {
        *this << kNullTag;
        return;
    }
    const auto known = m_storeMap.find(pOb);
    if (known != m_storeMap.end())
    {
        write_tag(known->second, false);
        return;
    }
    WriteClass(pOb->GetRuntimeClass());
    if (m_nMapCount >= kMaxMapCount) throw_archive(CArchiveException::badIndex);
    // The index is taken before Serialize, so a reference back to this object from inside
    // its own Serialize is written as a reference, and cycles end.
    m_storeMap.emplace(pOb, m_nMapCount++);
    const_cast<CObject*>(pOb)->Serialize(*this);
}

CRuntimeClass* CArchive::ReadClass(const CRuntimeClass* pClassRefRequested, UINT* pSchema,
                                   DWORD* pObTag)
{
    require_loading();
    WORD word = 0;
    *this >> word;

    CRuntimeClass* pClass = nullptr;
    UINT schema = 0;
    if (word == kNewClassTag)
    {
        pClass = CRuntimeClass::Load(*this, &schema);
        if (pClass == nullptr || pClass->m_wSchema == 0xFFFF)
            throw_archive(CArchiveException::badClass);
        if (pClass->m_wSchema != schema) throw_archive(CArchiveException::badSchema);
        if (m_loadArray.size() >= kMaxMapCount) throw_archive(CArchiveException::badIndex);
        m_loadArray.push_back(LoadEntry{pClass, true, schema});
        m_nMapCount = DWORD(m_loadArray.size());
    }
    else
    {
        DWORD tag = word;
        if (word == kBigObjectTag)
            *this >> tag;
        else if (word & kClassTag)
            tag = kBigClassTag | DWORD(word & 0x7FFFu);
        if (!(tag & kBigClassTag))
        {
            if (pObTag != nullptr) *pObTag = tag;
            return nullptr;  // a null pointer or an object reference: ReadObject resolves it
        }
        const DWORD index = tag & ~kBigClassTag;
        if (index == 0 || index >= m_loadArray.size() || !m_loadArray[index].isClass)
            throw_archive(CArchiveException::badIndex);
        pClass = static_cast<CRuntimeClass*>(m_loadArray[index].p);
        schema = m_loadArray[index].schema;
    }
    if (pClassRefRequested != nullptr && !pClass->IsDerivedFrom(pClassRefRequested))
        throw_archive(CArchiveException::badClass);
    if (pSchema != nullptr) *pSchema = schema;
    if (pObTag != nullptr) *pObTag = 0;
    return pClass;
}

CObject* CArchive::ReadObject(const CRuntimeClass* pClassRefRequested)
{
    require_loading();
    UINT schema = 0;
    DWORD obTag = 0;
    CRuntimeClass* pClass = ReadClass(pClassRefRequested, &schema, &obTag);

    if (pClass == nullptr)
    {
        if (obTag == 0) return nullptr;
        if (obTag >= m_loadArray.size() || m_loadArray[obTag].isClass ||
            m_loadArray[obTag].p == nullptr)
            throw_archive(CArchiveException::badIndex);
        CObject* pOb = static_cast<CObject*>(m_loadArray[obTag].p);
        if (pClassRefRequested != nullptr && !pOb->IsKindOf(pClassRefRequested))
            throw_archive(CArchiveException::badClass);
        return pOb;
    }

    if (pClass->m_pfnCreateObject == nullptr) throw_archive(CArchiveException::badClass);
    if (m_nLoadDepth >= kMaxLoadDepth) throw_archive(CArchiveException::generic);
    if (m_loadArray.size() >= kMaxMapCount) throw_archive(CArchiveException::badIndex);
    CObject* pOb = pClass->CreateObject();
    if (pOb == nullptr) throw_archive(CArchiveException::generic);  // out of memory

    // Registered before Serialize, so references back to it from inside resolve (cycles).
    const std::size_t index = m_loadArray.size();
    m_loadArray.push_back(LoadEntry{pOb, false, 0});
    m_nMapCount = DWORD(m_loadArray.size());

    const UINT savedSchema = m_nObjectSchema;
    m_nObjectSchema = schema;
    ++m_nLoadDepth;
    try
    {
        pOb->Serialize(*this);
    }
    catch (...)
    {
        --m_nLoadDepth;
        m_nObjectSchema = savedSchema;
        // Later references to it, or to anything created inside it, are bad indices: those
        // objects are deleted by now or belong to the object deleted here.
        for (std::size_t k = index; k < m_loadArray.size(); ++k)
            if (!m_loadArray[k].isClass) m_loadArray[k].p = nullptr;
        delete pOb;
        throw;
    }
    --m_nLoadDepth;
    m_nObjectSchema = savedSchema;
    return pOb;
}

std::vector<CObject*> CArchive::GetObjectsLoadedSince(DWORD nMark) const
{
    std::vector<CObject*> objects;
    for (std::size_t k = nMark; k < m_loadArray.size(); ++k)
        if (!m_loadArray[k].isClass && m_loadArray[k].p != nullptr)
            objects.push_back(static_cast<CObject*>(m_loadArray[k].p));
    return objects;
}

CArchive& operator<<(CArchive& ar, const CObject* pOb)
{
    ar.WriteObject(pOb);
    return ar;
}

CArchive& operator>>(CArchive& ar, CObject*& pOb)
{
    pOb = ar.ReadObject(nullptr);
    return ar;
}

CArchive& operator>>(CArchive& ar, const CObject*& pOb)
{
    pOb = ar.ReadObject(nullptr);
    return ar;
}

// ---------------------------------------------------------------------------------------------
// Lines

BOOL CArchive::ReadString(CString& rString)
{
    require_loading();
    std::string line;
    bool consumed = false;  // a line exists once any byte of it (or its end) was read
    for (;;)
    {
        if (m_lpBufCur == m_lpBufMax)
        {
            fill_buffer(1);
            if (m_lpBufCur == m_lpBufMax) break;  // end of file
        }
        consumed = true;
        const BYTE* p = m_lpBufCur;
        while (p != m_lpBufMax && *p != '\n' && *p != '\r') ++p;
        line.append(reinterpret_cast<const char*>(m_lpBufCur), std::size_t(p - m_lpBufCur));
        m_lpBufCur = const_cast<BYTE*>(p);
        if (p == m_lpBufMax) continue;  // the line goes on in the next buffer
        const bool cr = (*p == '\r');
        ++m_lpBufCur;
        if (cr)  // a carriage return ends the line together with the character after it
        {
            if (m_lpBufCur == m_lpBufMax) fill_buffer(1);
            if (m_lpBufCur != m_lpBufMax) ++m_lpBufCur;
        }
        break;
    }
    rString = CString(std::move(line));
    return consumed ? TRUE : FALSE;
}

void CArchive::WriteString(LPCTSTR lpsz)
{
    if (lpsz == nullptr) return;
    Write(lpsz, UINT(std::strlen(lpsz)));
}
