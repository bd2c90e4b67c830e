#include "test_http_server.h"

#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <stdexcept>

namespace orvanta::test {
namespace {

QByteArray Reason(int status) {
  switch (status) {
    case 200: return "OK";
    case 302: return "Found";
    case 404: return "Not Found";
    default: return "Status";
  }
}

}  // namespace

TestHttpServer::TestHttpServer() : server_(new QTcpServer(this)) {
  if (!server_->listen(QHostAddress::LocalHost)) throw std::runtime_error("test server cannot listen");
  connect(server_, &QTcpServer::newConnection, this, [this] {
    while (QTcpSocket* socket = server_->nextPendingConnection()) {
      auto* exchange = new Exchange{socket, {}, false, {}, 0};
      exchanges_ << exchange;
      connect(socket, &QTcpSocket::readyRead, this, [this, exchange] { Read(*exchange); });
    }
  });
}

TestHttpServer::~TestHttpServer() { qDeleteAll(exchanges_); }

quint16 TestHttpServer::Port() const { return server_->serverPort(); }

QString TestHttpServer::BaseUrl() const { return QString("http://127.0.0.1:%1").arg(Port()); }

void TestHttpServer::Read(Exchange& exchange) {
  exchange.request += exchange.socket->readAll();
  if (exchange.answered || !exchange.request.contains("\r\n\r\n")) return;
  exchange.answered = true;
  const QList<QByteArray> lines = exchange.request.left(exchange.request.indexOf("\r\n\r\n")).split('\n');
  const QList<QByteArray> requestLine = lines.value(0).trimmed().split(' ');
  const QByteArray path = requestLine.value(1);
  paths << path;
  for (const QByteArray& line : lines) {
    if (line.toLower().startsWith("user-agent:")) userAgents << line.mid(11).trimmed();
  }
  exchange.response = routes_.value(path, Response{404, {"Not Found"}, Framing::ContentLength, {}});
  Answer(exchange);
}

void TestHttpServer::Answer(Exchange& exchange) {
  const Response& response = exchange.response;
  if (response.framing == Framing::Silent) return;
  QByteArray head = "HTTP/1.1 " + QByteArray::number(response.status) + " " + Reason(response.status) + "\r\n";
  if (response.framing == Framing::Chunked) {
    head += "Transfer-Encoding: chunked\r\n";
  } else {
    head += "Content-Length: " + QByteArray::number(response.pieces.join().size()) + "\r\n";
  }
  if (!response.location.isEmpty()) head += "Location: " + response.location + "\r\n";
  head += "Connection: close\r\n\r\n";
  exchange.socket->write(head);
  SendPiece(exchange);
}

void TestHttpServer::SendPiece(Exchange& exchange) {
  const Response& response = exchange.response;
  if (exchange.sent < response.pieces.size()) {
    const QByteArray& piece = response.pieces[exchange.sent++];
    if (response.framing == Framing::Chunked) {
      exchange.socket->write(QByteArray::number(piece.size(), 16) + "\r\n" + piece + "\r\n");
    } else {
      exchange.socket->write(piece);
    }
  }
  if (exchange.sent == response.pieces.size()) {
    if (response.framing == Framing::Chunked) exchange.socket->write("0\r\n\r\n");
    exchange.socket->disconnectFromHost();
    ++exchange.sent;  // finished: nothing more to send
  }
}

void TestHttpServer::SendNextPiece() {
  for (Exchange* exchange : exchanges_) {
    const bool underWay = exchange->answered && exchange->response.framing != Framing::Silent &&
                          exchange->sent <= exchange->response.pieces.size();
    if (underWay && exchange->socket->state() == QAbstractSocket::ConnectedState) {
      SendPiece(*exchange);
    }
  }
}

}  // namespace orvanta::test
