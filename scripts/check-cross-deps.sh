#!/usr/bin/env bash
# Checks a cross-built dependency prefix by building a small program against it
# with the mingw-w64 compiler, statically, and running it under wine:
#   check-cross-deps.sh i686|x86_64 [PREFIX]
# PREFIX defaults to $KEYHOLD_CACHE/deps/ARCH (see scripts/build-cross-deps.sh).
# The program hashes, derives a key, encrypts a block and draws random bytes
# with Crypto++, parses XML with TinyXML, reads an INI text with SimpleIni and
# splits a line with Boost's tokenizer; its output is compared with known
# answers (SHA-1 and AES from FIPS 180/197, PBKDF2 from RFC 6070).
set -euo pipefail

arch=${1:-}
case "$arch" in
  i686|x86_64) ;;
  *) echo "usage: $0 i686|x86_64 [PREFIX]" >&2; exit 2 ;;
esac
here=$(cd "$(dirname "$0")" && pwd)
: "${KEYHOLD_CACHE:=$HOME/.cache/keyhold}"
export KEYHOLD_CACHE
prefix=${2:-$KEYHOLD_CACHE/deps/$arch}
CXX=$arch-w64-mingw32-g++-posix

for f in lib/libcryptopp.a lib/libtinyxml.a include/cryptopp/cryptlib.h include/tinyxml.h \
         headeronly/SimpleIni.h headeronly/boost/tokenizer.hpp; do
  [ -e "$prefix/$f" ] || { echo "FAIL: $prefix/$f is missing" >&2; exit 1; }
done

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

cat >"$tmp/check.cpp" <<'EOF'
#include <cryptopp/sha.h>
#include <cryptopp/hex.h>
#include <cryptopp/pwdbased.h>
#include <cryptopp/aes.h>
#include <cryptopp/modes.h>
#include <cryptopp/filters.h>
#include <cryptopp/osrng.h>
#include <tinyxml.h>
// Debian's SimpleIni.h keeps its template bodies behind SI_IMPLEMENTATION (the
// package also ships a prebuilt Linux library, of no use to a Windows build).
// SI_NO_CONVERSION comes from the command line, as kh::headeronly sets it.
#define SI_IMPLEMENTATION
#include <SimpleIni.h>
#include <boost/tokenizer.hpp>
#include <cstdio>
#include <cstring>
#include <string>

static std::string hex(const CryptoPP::byte* p, size_t n) {
  std::string out;
  CryptoPP::StringSource(p, n, true, new CryptoPP::HexEncoder(new CryptoPP::StringSink(out), false));
  return out;
}

int main() {
  using namespace CryptoPP;
  std::printf("bits: %d\n", (int)(sizeof(void*) * 8));

  SHA1 sha;
  byte digest[SHA1::DIGESTSIZE];
  sha.CalculateDigest(digest, (const byte*)"abc", 3);
  std::printf("sha1: %s\n", hex(digest, sizeof digest).c_str());

  PKCS5_PBKDF2_HMAC<SHA1> kdf;
  byte dk[20];
  kdf.DeriveKey(dk, sizeof dk, 0, (const byte*)"password", 8, (const byte*)"salt", 4, 4096);
  std::printf("pbkdf2: %s\n", hex(dk, sizeof dk).c_str());

  byte key[16], block[16], out[16];
  for (int i = 0; i < 16; ++i) { key[i] = (byte)i; block[i] = (byte)(i * 0x11); }
  ECB_Mode<AES>::Encryption ecb(key, sizeof key);
  ecb.ProcessData(out, block, sizeof block);
  std::printf("aes: %s\n", hex(out, sizeof out).c_str());

  AutoSeededRandomPool rng;
  byte r1[32], r2[32], zero[32] = {0};
  rng.GenerateBlock(r1, sizeof r1);
  rng.GenerateBlock(r2, sizeof r2);
  bool rng_ok = std::memcmp(r1, r2, 32) != 0 && std::memcmp(r1, zero, 32) != 0;
  std::printf("rng: %s\n", rng_ok ? "ok" : "FAIL");

  TiXmlDocument doc;
  std::string xml = "<vault version=\"2\"><entry name=\"mail\">user &amp; pass</entry></vault>";
  doc.Parse(xml.c_str());
  const TiXmlElement* root = doc.RootElement();
  const TiXmlElement* entry = root ? root->FirstChildElement("entry") : 0;
  std::string version = root && root->Attribute("version") ? root->Attribute("version") : "?";
  std::string name = entry && entry->Attribute("name") ? entry->Attribute("name") : "?";
  std::string text = entry && entry->GetText() ? entry->GetText() : "?";
  std::printf("xml: %s %s [%s] error=%d\n", version.c_str(), name.c_str(), text.c_str(), doc.Error() ? 1 : 0);

  CSimpleIniA ini;
  const char* ini_text = "[Keyhold]\nVault=C:\\vault.xml\n";
  SI_Error rc = ini.LoadData(ini_text, std::strlen(ini_text));
  std::printf("ini: %d %s\n", (int)rc, ini.GetValue("Keyhold", "Vault", "?"));

  std::string line = "a,b;c";
  boost::char_separator<char> sep(",;");
  boost::tokenizer<boost::char_separator<char> > tok(line, sep);
  std::string joined;
  for (boost::tokenizer<boost::char_separator<char> >::iterator it = tok.begin(); it != tok.end(); ++it)
    joined += "[" + *it + "]";
  std::printf("tokens: %s\n", joined.c_str());
  return 0;
}
EOF

case "$arch" in i686) bits=32 ;; x86_64) bits=64 ;; esac
cat >"$tmp/expected" <<EOF
bits: $bits
sha1: a9993e364706816aba3e25717850c26c9cd0d89d
pbkdf2: 4b007901b765489abead49d926f721d065a429c1
aes: 69c4e0d86a7b0430d8cdb78070b4c55a
rng: ok
xml: 2 mail [user & pass] error=0
ini: 0 C:\\vault.xml
tokens: [a][b][c]
EOF

if ! "$CXX" -O2 -DTIXML_USE_STL -DSI_NO_CONVERSION -I"$prefix/include" -I"$prefix/headeronly" \
     -o "$tmp/check.exe" "$tmp/check.cpp" -L"$prefix/lib" -lcryptopp -ltinyxml \
     -static -static-libgcc -static-libstdc++ 2>"$tmp/compile.log"; then
  echo "FAIL: the check program does not build against $prefix:" >&2
  head -n 40 "$tmp/compile.log" >&2
  exit 1
fi

# shellcheck source=scripts/wine-env.sh
. "$here/wine-env.sh"
if [ "$arch" = i686 ] && ! kh_wine32_usable; then
  echo "SKIPPED: the $arch check program built, but this machine cannot run 32-bit programs" >&2
  exit 0
fi
kh_wine_prefix || { echo "FAIL: no usable wine prefix" >&2; exit 1; }
status=0
kh_wine "$tmp/check.exe" >"$tmp/actual" 2>"$tmp/wine.log" || status=$?
tr -d '\r' <"$tmp/actual" >"$tmp/actual.txt"
if [ "$status" != 0 ] || ! diff -u "$tmp/expected" "$tmp/actual.txt" >"$tmp/diff"; then
  echo "FAIL: the $arch check program (exit $status) printed other than expected:" >&2
  cat "$tmp/diff" "$tmp/wine.log" >&2
  exit 1
fi
echo "ok: $arch dependencies in $prefix work under wine"
