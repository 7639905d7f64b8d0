#include "results/live_server.h"

namespace veltro {

// Mobile first, everything inline: a phone on the track's Wi-Fi has no internet. Names are set as
// text, never as markup.
const char* LiveServer::page() {
    return R"page(<!DOCTYPE html>
<html lang="en"><head><meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<title>Live results</title>
<style>
body{font-family:sans-serif;margin:0;background:#101418;color:#eee}
header{padding:12px 16px;background:#1d2630}
h1{font-size:1.2em;margin:0}#heat{color:#9cf;margin-top:4px}
#clock{font:bold 3em monospace;text-align:center;padding:12px}
#state{text-align:center;color:#aaa}
table{width:100%;border-collapse:collapse}td{padding:8px 6px;border-bottom:1px solid #2a333d}
.box{width:2em;text-align:center;font-weight:bold;border-radius:4px}
.b1{background:#d22;color:#fff}.b2{background:#26c;color:#fff}.b3{background:#eee;color:#000}
.b4{background:#000;color:#fff}.b5{background:#f80;color:#000}
.b6{background:repeating-linear-gradient(0deg,#000 0 4px,#fff 4px 8px);color:#f80}
.time{text-align:right;font-family:monospace}.rank{width:2em;text-align:center}
</style></head><body>
<header><h1 id="event">Live results</h1><div id="heat"></div></header>
<div id="clock">0,00</div><div id="state"></div>
<table id="dogs"></table><h2 style="padding:0 16px">Result</h2><table id="result"></table>
<script>
"use strict";
let heat=null,at=0;
const $=id=>document.getElementById(id);
function cell(row,text,cls){const td=row.insertCell();td.textContent=text;if(cls)td.className=cls;return td;}
function show(h){
  heat=h;at=performance.now();
  $("event").textContent=h.event||"Live results";
  $("heat").textContent=[h.heat?"Heat "+h.heat:"",h.heat_name].filter(Boolean).join(" \u2013 ");
  $("state").textContent=h.state;
  const dogs=$("dogs");dogs.replaceChildren();
  h.dogs.forEach((name,i)=>{if(!name)return;const r=dogs.insertRow();cell(r,i+1,"box b"+(i+1));cell(r,name);});
  const res=$("result");res.replaceChildren();
  if(h.result)h.result.results.forEach(row=>{
    const r=res.insertRow();r.dataset.box=row.box;
    cell(r,row.rank??"","rank");cell(r,row.box,"box b"+row.box);cell(r,row.dog);
    cell(r,row.finish+(row.dead_heat?" DH":""),"time");cell(r,row.distance,"time");});
  if(h.running_ms===null&&h.result===null)$("clock").textContent="0,00";
}
function tick(){
  if(heat&&heat.running_ms!==null){
    const ms=Math.max(0,heat.running_ms+performance.now()-at),cs=Math.floor(ms/10);
    $("clock").textContent=Math.floor(cs/100)+","+String(cs%100).padStart(2,"0");}
  requestAnimationFrame(tick);
}
fetch("/api/heat").then(r=>r.json()).then(show);
const stream=new EventSource("/api/stream");
for(const kind of ["initiated","started","capture","capture_end","finished","aborted","reviewing","result"])
  stream.addEventListener(kind,e=>show(JSON.parse(e.data)));
requestAnimationFrame(tick);
</script></body></html>
)page";
}

} // namespace veltro
