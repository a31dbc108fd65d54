#!/usr/bin/env node
// Prints a JAM base as the npm reader fidonet-jam parses it, one item per
// line, for the interoperability tests:
//
//   base datecreated=N modcounter=N activemsgs=N passwordcrc=0xHHHHHHHH basemsgnum=N
//   index size=N
//   lastread usercrc=N userid=N lastread=N highread=N     (one per record)
//   msg K number=N                                       (K = 1..size)
//   header signature=S revision=N ... cost=N             (fixed part)
//   crc msgid=ok|bad tocrc=ok|bad reply=ok|bad           (checked here)
//   sub ID "DATA"                                        (in stored order)
//   kludges "LINE" ...                                   (decodeKludges)
//   text "BYTES"                                         (the .jdt slice)
//   decoded from="UTF-8" subject="UTF-8"     (decodeHeader, recoded by CHRS)
//
// Strings are the raw bytes: printable ASCII as is, backslash and double
// quote escaped, everything else as \xNN (CR as \r). Usage:
//   node jam_dump.js BASEPATH      (BASEPATH without extension)
'use strict';
const JAM = require('fidonet-jam');

const base = JAM(process.argv[2]);

function esc(buffer) {
  let out = '"';
  for (const b of buffer) {
    if (b === 0x5c) out += '\\\\';
    else if (b === 0x22) out += '\\"';
    else if (b === 0x0d) out += '\\r';
    else if (b >= 0x20 && b < 0x7f) out += String.fromCharCode(b);
    else out += '\\x' + b.toString(16).toUpperCase().padStart(2, '0');
  }
  return out + '"';
}

function hex32(n) {
  return '0x' + n.toString(16).toUpperCase().padStart(8, '0');
}

function crcOf(buffer) {
  return base.crc32(buffer.toString('latin1'), {encoding: 'latin1'});
}

function fail(err) {
  process.stdout.write('error ' + err.message + '\n');
  process.exit(1);
}

const out = [];
base.readFixedHeaderInfoStruct(err => {
  if (err) fail(err);
  const fh = base.fixedHeader;
  out.push(`base signature=${esc(fh.Signature)} datecreated=${fh.datecreated}` +
           ` modcounter=${fh.modcounter} activemsgs=${fh.activemsgs}` +
           ` passwordcrc=${hex32(fh.passwordcrc)} basemsgnum=${fh.basemsgnum}`);
  base.readJLR(err => {
    if (err) fail(err);
    base.readJDT(err => {
      if (err) fail(err);
      base.readAllHeaders((err, headers) => {
        if (err) fail(err);
        out.push(`index size=${base.size()}`);
        for (const lr of base.lastreads) {
          out.push(`lastread usercrc=${lr.UserCRC} userid=${lr.UserID}` +
                   ` lastread=${lr.LastRead} highread=${lr.HighRead}`);
        }
        headers.forEach((h, i) => {
          const entry = base.indexStructure[i];
          out.push(`msg ${i + 1} number=${entry.MessageNum0 + fh.basemsgnum}`);
          out.push(`header signature=${esc(h.Signature)} revision=${h.Revision}` +
                   ` reservedword=${h.ReservedWord} subfieldlen=${h.SubfieldLen}` +
                   ` timesread=${h.TimesRead} msgidcrc=${hex32(h.MSGIDcrc)}` +
                   ` replycrc=${hex32(h.REPLYcrc)} replyto=${h.ReplyTo}` +
                   ` reply1st=${h.Reply1st} replynext=${h.ReplyNext}` +
                   ` datewritten=${h.DateWritten} datereceived=${h.DateReceived}` +
                   ` dateprocessed=${h.DateProcessed}` +
                   ` messagenumber=${h.MessageNumber}` +
                   ` attribute=${hex32(h.Attribute)}` +
                   ` attribute2=${hex32(h.Attribute2)} offset=${h.Offset}` +
                   ` txtlen=${h.TxtLen} passwordcrc=${hex32(h.PasswordCRC)}` +
                   ` cost=${h.Cost}`);
          let msgidCrc = 0xFFFFFFFF, replyCrc = 0xFFFFFFFF, toCrc = 0xFFFFFFFF;
          for (const sf of h.Subfields) {
            if (sf.LoID === 4) msgidCrc = crcOf(sf.Buffer);
            if (sf.LoID === 5) replyCrc = crcOf(sf.Buffer);
            if (sf.LoID === 3) toCrc = crcOf(sf.Buffer);
          }
          out.push(`crc msgid=${msgidCrc === h.MSGIDcrc ? 'ok' : 'bad'}` +
                   ` tocrc=${toCrc === entry.ToCRC ? 'ok' : 'bad'}` +
                   ` reply=${replyCrc === h.REPLYcrc ? 'ok' : 'bad'}`);
          for (const sf of h.Subfields) {
            out.push(`sub ${sf.LoID} ${esc(sf.Buffer)}`);
          }
          const kludges = base.decodeKludges(h, {defaultEncoding: 'latin1'});
          if (kludges !== '') {
            out.push('kludges ' + kludges.split('\n').map(
                k => esc(Buffer.from(k, 'latin1'))).join(' '));
          }
          out.push('text ' + esc(base.JDT.slice(h.Offset, h.Offset + h.TxtLen)));
          // The header as the reader shows it, recoded by the CHRS kludge.
          const shown = base.decodeHeader(h, {defaultEncoding: 'cp866'});
          out.push('decoded from=' + esc(Buffer.from(shown.from || '', 'utf8')) +
                   ' subject=' + esc(Buffer.from(shown.subj || '', 'utf8')));
        });
        process.stdout.write(out.join('\n') + '\n');
      });
    });
  });
});
