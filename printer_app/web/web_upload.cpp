#include "printer_app/web/web_upload.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "printer_app/options/printer_defaults.h"
#include "printer_app/options/setting_map.h"

namespace qxapp {
namespace {

// Builds the IPP requests in the browser (Print-Job held, then Release-Job or Cancel-Job) and
// shows the held job's labels. Values of the form are read as they are when Preview is pressed.
constexpr const char* kScript = R"JS(<script>
(function(){
var form=document.getElementById('qxvn-upload'),out=document.getElementById('qxvn-result');
var printerPath=form.dataset.printer,heldJob=0;
function say(text,isError){out.innerHTML='';var p=document.createElement('p');p.id=isError?'qxvn-refused':'qxvn-said';
 p.className=isError?'qxvn-error':'';p.textContent=text;out.appendChild(p);return p;}
function ipp(op,operation,job,data){var e=new TextEncoder(),parts=[];
 function b(a){parts.push(Uint8Array.from(a));}function n2(v){b([v>>8&255,v&255]);}
 function s(t){var x=e.encode(t);n2(x.length);parts.push(x);}
 function value(tag,v){if(tag==0x21||tag==0x23){n2(4);b([v>>>24&255,v>>16&255,v>>8&255,v&255]);}else s(String(v));}
 function group(g,list){b([g]);list.forEach(function(a){b([a[0]]);s(a[1]);value(a[0],a[2]);});}
 b([2,0]);n2(op);b([0,0,0,1]);group(1,operation);if(job.length)group(2,job);b([3]);if(data)parts.push(data);
 return fetch(printerPath,{method:'POST',headers:{'Content-Type':'application/ipp'},body:new Blob(parts)})
  .then(function(r){if(!r.ok)throw new Error('the printer answered '+r.status+' '+r.statusText);return r.arrayBuffer();})
  .then(function(buf){var d=new DataView(buf),pos=8,res={status:d.getUint16(2)},t=new TextDecoder();
   while(pos<d.byteLength){var tag=d.getUint8(pos++);if(tag==3)break;if(tag<0x10)continue;
    var nl=d.getUint16(pos);pos+=2;var name=t.decode(new Uint8Array(buf,pos,nl));pos+=nl;
    var vl=d.getUint16(pos);pos+=2;if(name=='job-id'&&vl==4)res.jobId=d.getInt32(pos);
    if(name=='status-message')res.message=t.decode(new Uint8Array(buf,pos,vl));pos+=vl;}
   return res;});}
function opAttrs(){var uri=(location.protocol=='https:'?'ipps://':'ipp://')+location.host+printerPath;
 return [[0x47,'attributes-charset','utf-8'],[0x48,'attributes-natural-language','en'],[0x45,'printer-uri',uri],
  [0x42,'requesting-user-name','web']];}
function kind(bytes){if(bytes[0]==0x25&&bytes[1]==0x50&&bytes[2]==0x44&&bytes[3]==0x46)return 'application/pdf';
 if(bytes[0]==0x89&&bytes[1]==0x50&&bytes[2]==0x4e&&bytes[3]==0x47)return 'image/png';
 if(bytes[0]==0xff&&bytes[1]==0xd8)return 'image/jpeg';
 try{new TextDecoder('utf-8',{fatal:true}).decode(bytes.subarray(0,65536));}catch(e){return '';}
 return bytes.indexOf(0)<0?'text/plain':'';}
function choices(){var job=[[0x44,'job-hold-until','indefinite'],[0x21,'copies',+form.copies.value],
  [0x44,'media',form.media.value],[0x44,'print-scaling',form.scaling.value]];
 if(form.orientation.value)job.push([0x23,'orientation-requested',+form.orientation.value]);
 form.querySelectorAll('[data-vendor]').forEach(function(f){job.push([f.dataset.vendor=='integer'?0x21:0x44,f.name,
  f.dataset.vendor=='integer'?+f.value:f.value]);});return job;}
function cancelHeld(){if(!heldJob)return Promise.resolve();var id=heldJob;heldJob=0;
 return ipp(8,opAttrs().concat([[0x21,'job-id',id]]),[]);}
function show(id,text){var lines=text.split('\n'),count=parseInt(lines[0],10);
 if(!(count>0)){var why=lines[1]||'the document has no label';return cancelHeld().then(function(){
  say('Refused: '+why,true);});}
 out.innerHTML='';var h=document.createElement('p');h.id='qxvn-said';
 h.innerHTML='Preview of job <a href="/qxvn/job?id='+id+'">'+id+'</a>: '+count+' label'+(count>1?'s':'')+
  ', as the printer will print them (nothing is printed yet).';out.appendChild(h);
 var box=document.createElement('div');box.className='qxvn-labels';
 for(var k=1;k<=Math.min(count,20);k++){var i=document.createElement('img');i.src='/qxvn/label.png?job='+id+'&label='+k;
  i.alt='Label '+k;i.className='qxvn-preview';box.appendChild(i);}
 var p=document.createElement('button');p.type='button';p.id='qxvn-print';p.textContent='Print';
 var c=document.createElement('button');c.type='button';c.id='qxvn-cancel';c.textContent='Cancel';
 p.onclick=function(){ipp(13,opAttrs().concat([[0x21,'job-id',id]]),[]).then(function(r){heldJob=0;
  if(r.status>=0x400)throw new Error(r.message||'the printer refused to release the job');
  var s=say('Printing: job '+id+'. ');var a=document.createElement('a');a.href='/qxvn/job?id='+id;a.textContent='See the job';
  s.appendChild(a);}).catch(function(e){say('Not printed: '+e.message,true);});};
 c.onclick=function(){cancelHeld().then(function(){say('Cancelled; nothing was printed.');});};
 out.appendChild(p);out.appendChild(document.createTextNode(' '));out.appendChild(c);out.appendChild(box);}
form.addEventListener('submit',function(ev){ev.preventDefault();var file=form.document.files[0];
 if(!file){say('Choose a file first.',true);return;}
 var maxBytes=+form.dataset.max;
 if(file.size>maxBytes){say('Refused: the file is '+file.size+' bytes; the largest is '+maxBytes+' bytes.',true);return;}
 if(file.size==0){say('Refused: the file is empty.',true);return;}
 say('Laying the labels out...');cancelHeld().then(function(){return file.arrayBuffer();}).then(function(buf){
  var bytes=new Uint8Array(buf),type=kind(bytes);
  if(!type)throw new Error('this is not a PDF, PNG, JPEG or text file');
  return {type:type,data:new Blob([bytes])};
 }).then(function(doc){return ipp(2,opAttrs().concat([[0x42,'job-name',file.name],[0x49,'document-format',doc.type]]),
   choices(),doc.data);
 }).then(function(r){if(r.status>=0x400||!r.jobId)throw new Error(r.message||'the printer refused the job');
  heldJob=r.jobId;return fetch('/qxvn/labels?fresh=1&job='+r.jobId).then(function(x){return x.text();})
   .then(function(t){return show(r.jobId,t);});
 }).catch(function(e){cancelHeld();say('Refused: '+e.message,true);});});
})();
</script>
)JS";

constexpr const char* kStyle =
    "<style>.qxvn-labels{display:flex;flex-wrap:wrap;gap:12px;margin:1em 0}.qxvn-preview{border:1px solid "
    "#888;"
    "background:#fff;image-rendering:pixelated;max-width:100%}.qxvn-error{color:#b00;font-weight:bold}</"
    "style>\n";

// "48 x 76 mm" of a PWG media name.
std::string DescribeMedia(const char* name) {
  pwg_media_t* pwg = pwgMediaForPWG(name);
  if (!pwg) return name;
  char text[64];
  std::snprintf(text, sizeof text, "%g x %g mm", pwg->width / 100.0, pwg->length / 100.0);
  return text;
}

void Option(pappl_client_t* client, const std::string& value, const std::string& text, bool selected) {
  papplClientHTMLPuts(client, "<option value=\"");
  papplClientHTMLEscape(client, value.c_str(), 0);
  papplClientHTMLPuts(client, selected ? "\" selected>" : "\">");
  papplClientHTMLEscape(client, text.c_str(), 0);
  papplClientHTMLPuts(client, "</option>");
}

void VendorFields(pappl_client_t* client, pappl_printer_t* printer) {
  std::unique_ptr<ipp_t, decltype(&ippDelete)> attrs(papplPrinterGetDriverAttributes(printer), ippDelete);
  for (const SettingMapping& mapping : kSettingMap) {
    if (!IsVendor(mapping.source)) continue;
    const std::string name(mapping.ipp);
    std::string value = VendorDefault(attrs.get(), name);
    papplClientHTMLPrintf(client, "<tr><th><label for=\"%s\">%s:</label></th><td>", name.c_str(),
                          papplClientGetLocString(client, name.c_str()));
    if (mapping.source == SettingSource::VendorInteger) {
      if (value.empty()) value = std::to_string(mapping.defaultValue);
      papplClientHTMLPrintf(client,
                            "<input type=\"number\" id=\"%s\" name=\"%s\" data-vendor=\"integer\" min=\"%d\" "
                            "max=\"%d\" value=\"%s\" required>",
                            name.c_str(), name.c_str(), mapping.min, mapping.max, value.c_str());
    } else {
      papplClientHTMLPrintf(client, "<select id=\"%s\" name=\"%s\" data-vendor=\"keyword\">", name.c_str(),
                            name.c_str());
      for (const KeywordValue& choice : mapping.keywords) {
        const std::string keyword(choice.keyword);
        const std::string key = name + "." + keyword;
        Option(client, keyword, papplClientGetLocString(client, key.c_str()),
               value.empty() ? &choice == &mapping.keywords[0] : value == keyword);
      }
      papplClientHTMLPuts(client, "</select>");
    }
    papplClientHTMLPuts(client, "</td></tr>\n");
  }
}

bool UploadPage(pappl_client_t* client, void* data) {
  auto* printer = static_cast<pappl_printer_t*>(data);
  papplClientHTMLPrinterHeader(client, printer, "Print a Label", 0, nullptr, nullptr);
  pappl_pr_driver_data_t driver;
  papplPrinterGetDriverData(printer, &driver);
  const std::string ipp = std::string("/ipp/print/") + papplPrinterGetName(printer);
  papplClientHTMLPuts(client, kStyle);
  papplClientHTMLPuts(client,
                      "<div class=\"row\"><div class=\"col-12\">\n<form id=\"qxvn-upload\" data-printer=\"");
  papplClientHTMLEscape(client, ipp.c_str(), 0);
  papplClientHTMLPrintf(client, "\" data-max=\"%d\"><table class=\"form\"><tbody>\n",
                        static_cast<int>(kMaxUploadBytes));
  papplClientHTMLPrintf(
      client,
      "<tr><th><label for=\"document\">File:</label></th><td><input type=\"file\" id=\"document\" "
      "name=\"document\" accept=\".pdf,.png,.jpg,.jpeg,.txt,application/pdf,image/png,image/jpeg,"
      "text/plain\" required> PDF, PNG, JPEG or text, up to %d MB</td></tr>\n",
      static_cast<int>(kMaxUploadBytes >> 20));
  papplClientHTMLPuts(
      client,
      "<tr><th><label for=\"media\">Label size:</label></th><td><select id=\"media\" name=\"media\">");
  for (int i = 0; i < driver.num_media; ++i) {
    if (std::strncmp(driver.media[i], "custom_", 7) == 0) continue;
    Option(client, driver.media[i], DescribeMedia(driver.media[i]),
           std::strcmp(driver.media[i], driver.media_default.size_name) == 0);
  }
  papplClientHTMLPuts(
      client,
      "</select></td></tr>\n"
      "<tr><th><label for=\"scaling\">Scaling:</label></th><td><select id=\"scaling\" name=\"scaling\">"
      "<option value=\"auto\" selected>Automatic</option><option value=\"auto-fit\">Shrink to fit "
      "when larger</option><option value=\"fit\">Fit on the label</option><option value=\"fill\">"
      "Fill the label</option><option value=\"none\">Actual size</option></select></td></tr>\n"
      "<tr><th><label for=\"orientation\">Orientation:</label></th><td><select id=\"orientation\" "
      "name=\"orientation\"><option value=\"\" selected>Along the label</option><option value=\"3\">"
      "Portrait</option><option value=\"4\">Landscape</option><option value=\"5\">Reverse "
      "landscape</option><option value=\"6\">Reverse portrait</option></select></td></tr>\n"
      "<tr><th><label for=\"copies\">Copies:</label></th><td><input type=\"number\" id=\"copies\" "
      "name=\"copies\" min=\"1\" max=\"999\" value=\"1\" required></td></tr>\n");
  VendorFields(client, printer);
  papplClientHTMLPuts(client,
                      "<tr><th></th><td><input type=\"submit\" id=\"preview\" value=\"Preview\"></td></tr>\n"
                      "</tbody></table></form>\n<div id=\"qxvn-result\"></div>\n</div></div>\n");
  papplClientHTMLPuts(client, kScript);
  papplClientHTMLPrinterFooter(client);
  return true;
}

}  // namespace

void AddUploadPage(pappl_printer_t* printer) {
  char path[256];
  papplPrinterGetPath(printer, "upload", path, sizeof path);
  papplSystemAddResourceCallback(papplPrinterGetSystem(printer), path, "text/html", UploadPage, printer);
  papplPrinterAddLink(printer, "Print a Label", path,
                      static_cast<pappl_loptions_t>(PAPPL_LOPTIONS_NAVIGATION | PAPPL_LOPTIONS_STATUS));
}

}  // namespace qxapp
