#!/usr/bin/env bash
# Regenerates the TLS fixtures of the processing-server tests and demo:
#
#   ca.pem                the test certificate authority (its key is thrown away)
#   server.pem            the emulator's certificate for localhost and 127.0.0.1, signed by ca.pem
#   server.key.pem        its private key: a TEST KEY, published in this repository
#   untrusted.pem         a self-signed certificate for the same names, trusted by nobody
#   untrusted.key.pem     its private key, also a TEST KEY
#
# All certificates are valid for 20 years, so the tests do not rot.
# Usage: bash tests/data/tls/make-certs.sh   (writes next to this script)
set -euo pipefail

cd "$(dirname "$0")"
days=7300
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

banner() {
    printf '%s\n' \
        "# TEST KEY - for the automated tests and the local demo of the processing-server" \
        "# emulator only. It is public; never use it for a real server."
}

cat > "$work/server.ext" <<'EXT'
basicConstraints = critical, CA:FALSE
keyUsage = critical, digitalSignature, keyEncipherment
extendedKeyUsage = serverAuth
subjectAltName = DNS:localhost, IP:127.0.0.1
EXT

# The certificate authority.
openssl req -x509 -newkey rsa:2048 -nodes -sha256 -days "$days" \
    -subj "/O=TAVRON tests/CN=TAVRON test CA" \
    -addext "basicConstraints=critical,CA:TRUE,pathlen:0" \
    -addext "keyUsage=critical,keyCertSign,cRLSign" \
    -keyout "$work/ca.key" -out ca.pem

# The emulator's certificate, signed by the CA.
openssl req -new -newkey rsa:2048 -nodes -sha256 \
    -subj "/O=TAVRON tests/CN=localhost" \
    -keyout "$work/server.key" -out "$work/server.csr"
openssl x509 -req -sha256 -days "$days" -in "$work/server.csr" \
    -CA ca.pem -CAkey "$work/ca.key" -CAcreateserial -CAserial "$work/ca.srl" \
    -extfile "$work/server.ext" -out server.pem
{ banner; cat "$work/server.key"; } > server.key.pem

# A self-signed certificate for the same names that no test trusts.
openssl req -x509 -newkey rsa:2048 -nodes -sha256 -days "$days" \
    -subj "/O=TAVRON tests/CN=localhost" \
    -addext "subjectAltName=DNS:localhost,IP:127.0.0.1" \
    -keyout "$work/untrusted.key" -out untrusted.pem
{ banner; cat "$work/untrusted.key"; } > untrusted.key.pem

openssl verify -CAfile ca.pem server.pem
