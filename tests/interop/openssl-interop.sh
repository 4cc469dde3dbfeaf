#!/usr/bin/env bash
# Checks the store's format against OpenSSL, both ways:
#  - values Keyhold encrypts decrypt with OpenSSL (PBKDF2-HMAC-SHA1, 10
#    iterations, then AES-128-ECB with PKCS #7 padding) and its masterkey is
#    OpenSSL's SHA-1;
#  - a store whose titles, values and masterkey OpenSSL made opens in the
#    plug-in, which lists the titles decrypted.
#   openssl-interop.sh KEYHOLD_CRYPT KEYHOLD_PANEL PLUGIN
set -euo pipefail
crypt=$1 panel=$2 plugin=$3
passed=0 failed=0
check() {  # name expected actual
  if [ "$2" = "$3" ]; then passed=$((passed + 1)); else
    failed=$((failed + 1)); echo "FAIL $1: expected [$2], got [$3]"; fi
}
hex() { od -An -v -tx1 | tr -d ' \n' | tr a-f A-F; }
unhex() { perl -ne 'chomp; print pack("H*", $_)'; }
key() {  # password salt-hex
  openssl kdf -keylen 16 -kdfopt digest:SHA1 -kdfopt "pass:$1" -kdfopt "hexsalt:$2" -kdfopt iter:10 PBKDF2 | tr -d ':'
}
ossl_encrypt() {  # password text -> "CIPHER SALT"
  local salt; salt=$(openssl rand -hex 8 | tr a-f A-F)
  printf '%s' "$2" | openssl enc -aes-128-ecb -K "$(key "$1" "$salt")" -nosalt | hex
  printf ' %s\n' "$salt"
}
ossl_decrypt() {  # password cipher salt
  printf '%s' "$2" | unhex | openssl enc -d -aes-128-ecb -K "$(key "$1" "$3")" -nosalt
}

password='Corr3ct horse'
for text in 'a' '0123456789abcde' '0123456789abcdef' 'user@example.org' 'line1
line2' "$(printf 'x%.0s' $(seq 1 100))"; do
  read -r cipher salt < <("$crypt" encrypt "$password" "$text")
  check "ciphertext length of ${#text} bytes" $(( (${#text} / 16 + 1) * 32 )) ${#cipher}
  check "Keyhold -> OpenSSL: ${text:0:20}" "$text" "$(ossl_decrypt "$password" "$cipher" "$salt")"
  read -r cipher salt < <(ossl_encrypt "$password" "$text")
  check "OpenSSL -> Keyhold: ${text:0:20}" "$text" "$("$crypt" decrypt "$password" "$cipher" "$salt")"
done
check "masterkey" "$(printf '%s' "$password" | openssl sha1 -r | cut -d' ' -f1 | tr a-f A-F)" \
      "$("$crypt" hash "$password")"

# A store made by OpenSSL alone.
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
cp "$plugin" "$dir/"
masterkey=$(printf '%s' "$password" | openssl sha1 -r | cut -d' ' -f1 | tr a-f A-F)
entry() {  # id title password
  local tc ts pc ps
  read -r tc ts < <(ossl_encrypt "$password" "$2")
  read -r pc ps < <(ossl_encrypt "$password" "$3")
  printf '        <file name="%s" salt="%s" id="%s">\n            <password salt="%s">%s</password>\n        </file>\n' \
    "$tc" "$ts" "$1" "$ps" "$pc"
}
{
  printf '<?xml version="1.0" ?>\n<pswd basename="Made elsewhere" id="1" masterkey="%s">\n' "$masterkey"
  printf '    <folder name="Mail" id="2" creationtime="1258363200">\n'
  entry 3 "Gmail" "pw-one"
  entry 4 "Yahoo & Co" "pw-two"
  printf '    </folder>\n'
  entry 5 "Router at home" "pw-three"
  printf '</pswd>\n'
} > "$dir/database.xml"
out=$(printf 'ls\n> %s\nls Mail\nquit\n' "$password" | "$panel" "$dir/$(basename "$plugin")")
for title in "Gmail" "Yahoo & Co" "Router at home"; do
  if grep -qF " $title" <<<"$out"; then passed=$((passed + 1)); else
    failed=$((failed + 1)); echo "FAIL title not listed: $title"; echo "$out"; fi
done
echo "interop: $passed passed, $failed failed"
[ "$failed" = 0 ]
