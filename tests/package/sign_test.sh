#!/usr/bin/env bash
# Signed packages: scripts/package with a throwaway self-signed code-signing
# certificate made here signs both programs and both MSIs, and osslsigncode
# finds each signature whole; without one the packages are unsigned.
set -euo pipefail
source "$(dirname "$0")/../../scripts/lib.sh"
cd "$HW_ROOT"
export HW_PACKAGE_PREBUILT=1  # built by the ring before its tests
work="$(mktemp -d "$HW_ROOT/build/sign.XXXXXX")"
trap 'rm -rf "$work"' EXIT

openssl req -x509 -newkey rsa:2048 -nodes -sha256 -days 2 -subj "/CN=Harrowatch Test Signing" \
    -addext "extendedKeyUsage=codeSigning" -keyout "$work/key.pem" -out "$work/cert.pem" 2>/dev/null
openssl pkcs12 -export -inkey "$work/key.pem" -in "$work/cert.pem" -passout pass:'throw away' \
    -out "$work/signing.pfx" 2>/dev/null
printf '%s' 'throw away' >"$work/password"

failures=0
verify() {  # file, expected: signed / unsigned
    local said
    said=$(osslsigncode verify -CAfile "$work/cert.pem" -in "$1" 2>&1) && local rc=0 || local rc=$?
    if [ "$2" = signed ] && [ $rc -eq 0 ] && grep -q "Signature verification: ok" <<<"$said"; then
        echo "ok: $(basename "$1") is signed"
    elif [ "$2" = unsigned ] && [ $rc -ne 0 ]; then
        echo "ok: $(basename "$1") is unsigned"
    else
        echo "FAILED: $(basename "$1") should be $2:"; echo "$said" | tail -5; failures=$((failures + 1))
    fi
}

HW_PACKAGE_OUT="$work/signed" HW_SIGN_PFX="$work/signing.pfx" HW_SIGN_PASSWORD_FILE="$work/password" \
    scripts/package >/dev/null
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build/windows-x64/CMakeCache.txt)
for f in "$work/signed/stage/x64/Harrowatch.exe" "$work/signed/stage/x86/Harrowatch.exe" \
         "$work/signed/Harrowatch-$version-x64.msi" "$work/signed/Harrowatch-$version-x86.msi"; do
    verify "$f" signed
done
# The program inside the MSI is the signed one.
msiextract -C "$work/extracted" "$work/signed/Harrowatch-$version-x64.msi" >/dev/null
verify "$(find "$work/extracted" -name Harrowatch.exe | head -1)" signed

HW_PACKAGE_OUT="$work/plain" scripts/package >/dev/null
verify "$work/plain/Harrowatch-$version-x64.msi" unsigned
verify "$work/plain/stage/x64/Harrowatch.exe" unsigned
[ $failures -eq 0 ]
