#!/usr/bin/env bash
# Signing, with a throwaway self-signed certificate made here as a release's real one would be
# given: the Wirelet.exe in the ZIP and in the MSI, and the MSI itself, carry signatures that
# verify against it.
#   check-signing.sh files CPACK BUILD_DIR SCRATCH_DIR
. "$(dirname "$0")/wine-check.sh" "$@"
cd "$out"
openssl req -x509 -newkey rsa:2048 -nodes -keyout key.pem -out cert.pem -days 1 \
    -subj /CN=Wirelet-throwaway -addext extendedKeyUsage=codeSigning 2>/dev/null
openssl pkcs12 -export -inkey key.pem -in cert.pem -out cert.p12 -passout pass:throwaway
WIRELET_SIGN_PKCS12=$out/cert.p12 WIRELET_SIGN_PASSWORD=throwaway package 'ZIP;External'
unzip -q Wirelet-*.zip && msiextract -C msi Wirelet-*.msi >/dev/null
for signed in Wirelet-*-$arch/Wirelet.exe "$(find msi -name Wirelet.exe)" Wirelet-*.msi
do
    osslsigncode verify -CAfile cert.pem -in "$signed" >verify.log 2>&1 ||
        fail "$signed: $(cat verify.log)"
done
echo "ok - $(echo Wirelet-*.zip) and .msi, signed"
